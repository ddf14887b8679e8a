// The jobs through which the application hands its records to the floors below: each names the
// records one subsystem may touch, and the panel's settings it reads, taken at the call.
#pragma once

#include "csolver/capacitance_job.h"
#include "csolver/field_painting.h"
#include "geometry/geometry_job.h"
#include "lsolver/lsolver_job.h"

namespace zolva {

struct Context;
struct PanelModel;

// The dimensions and options of the generated cross-sections as the panel holds them.
GeometryInputs GeometryInputsOf(const PanelModel& panel);

GeometryJob GeometryJobOf(Context& ctx);
CapacitanceJob CapacitanceJobOf(Context& ctx);
LSolverJob LSolverJobOf(Context& ctx);
// The painting of the display from the solved grid, with the display settings.
FieldPaintJob FieldPaintJobOf(Context& ctx);

}  // namespace zolva
