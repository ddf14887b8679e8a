// The strongest electric field of a solved capacitance field, and the drive at which it would
// break the insulator down.
#pragma once

namespace zolva {

struct CapacitanceJob;

// Writes Results::peak from the relaxed core voltages: the largest cell gradient among the
// field regions' insulator cells (the gradient that paints the E field), in V/m per volt
// between the conductors, its Usermap pixel, the insulator there and the voltage at which the
// peak reaches that insulator's dielectric strength. Invalid without a known pixel width or
// without a field. Conductors lie in the core, so the strongest field does too; the apron's
// coarse cells are not searched.
void FindPeakField(const CapacitanceJob& job);

}  // namespace zolva
