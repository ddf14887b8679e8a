// The stages of the field prediction after its charges are known:
// line integrations inside the prediction window with the gap-filling flood, over the rest of
// the core and over the apron, the final offset of a balanced line, and the floating
// conductors' mean potentials.
#pragma once

#include "csolver/prediction_field.h"

namespace zolva {

struct CapacitanceJob;

// "D1": straight lines along every column and row inside the prediction window, from the
// potentials the walks left on its border ring, then the flood.
void IntegrateWindow(const CapacitanceJob& job, PredictionWork& w);
// The free nodes of the window that no line reached, filled depth first from their reached
// neighbours: first the nodes away from the surfaces, then those next to them. Uses an explicit
// list of pending nodes, so that a large window cannot overflow the call stack.
void FloodWindow(const CapacitanceJob& job, PredictionWork& w);
// "D2" to "D5": the window's border rows and columns integrated out to the core's edge.
void IntegrateCoreOutside(const CapacitanceJob& job, PredictionWork& w);
// "D6" to "D11": the apron, area by area, each after its field cache is filled on the pool.
void IntegrateApron(const CapacitanceJob& job, PredictionWork& w);
// The final offset of a balanced line in ten display steps, so that the apron's border averages
// 0 volt.
void ApplyFinalOffset(const CapacitanceJob& job);
// Every floating colour takes the mean potential beside its surface; its nodes are set to it.
void SetFloatingConductors(const CapacitanceJob& job);

}  // namespace zolva
