// The materials tab's edits of the selected colour (the chart's selection).
#pragma once

#include "core/materials.h"

namespace zolva {

struct Context;

void SetKind(Context& ctx, MaterialKind kind);
void SetProperties(Context& ctx, double Permittivity, double TanDelta);
void SetResistivity(Context& ctx, double Resistivity);

}  // namespace zolva
