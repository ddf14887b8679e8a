// The last guard against material values that no physical material has, taken by both solvers
// before they touch the map: a permittivity that is not above zero makes the relaxation run
// away or stand still, and a permeability that is not above zero makes the skin depth
// meaningless.
#pragma once

#include <string>

namespace zolva {

struct MaterialTables;

// The refusal text naming the first colour of the palette whose values are out of range:
// permittivity not above 0 or not finite, loss tangent below 0 or not finite (insulators), or
// permeability not above 0 or not finite (any colour). Empty when every colour is sound.
std::string NonPhysicalMaterialText(const MaterialTables& materials);

}  // namespace zolva
