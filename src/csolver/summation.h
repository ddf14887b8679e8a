// Capacitance from the energy stored in the relaxed field, shunt conductance from the energy
// lost in the dielectrics, and the end of every capacitance solve.
#pragma once

#include <vector>

namespace zolva {

struct CapacitanceJob;

// Charge-difference factor of Qdif (percent per unit of border flux per farad).
inline constexpr double kChargeDifferenceFactor = 4.6e-10;

// C and Gp from the current voltages: every field-region cell contributes
// ((V00 - V11)^2 + (V10 - V01)^2) eps, and eps tan(delta) for the loss; apron cells of 8 x 8
// pixels enter without a size factor, since the energy of a cell does not depend on its size.
void EstimateCapacitance(const CapacitanceJob& job);
// The two sums of EstimateCapacitance over a field laid out as the grid's core and apron
// (the apron's taken only while it is active): S weighted by the permittivity, T by the
// permittivity times the loss tangent. C = S epsilon0 / 2 and Gp = T epsilon0 omega / 2 for a
// field of 1 volt.
struct FieldCellSums {
  double S = 0.0;
  double T = 0.0;
};
FieldCellSums SumFieldCells(const CapacitanceJob& job, const std::vector<double>& core,
                            const std::vector<double>& apron);

// borderFlux (sum over the free nodes of the apron's outer border of their voltage minus that
// of their inner neighbour) and borderMean (their mean voltage).
void BorderFlux(const CapacitanceJob& job);
// Sums the final C and Gp, Qdif and the run time into the results and reports them; enables
// Resume. Does nothing while the main window is closing.
void FinishCapacitance(const CapacitanceJob& job);

}  // namespace zolva
