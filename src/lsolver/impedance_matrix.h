// The series impedance matrix Z = R + j omega L per metre of a line of coupled conductors: the
// current equations with every conductor its own port and the reference (the ground, or the
// reference conductor of a map without ground) as the common return.
#pragma once

#include <string>
#include <vector>

namespace zolva {

struct ConductorNumbering;
struct LSolverJob;

struct ImpedanceMatrices {
  int n = 0;              // signal conductors, the reference excluded
  std::vector<double> R;  // ohm/m, n x n row-major
  std::vector<double> L;  // H/m
  double frequencyHz = 0.0;
  double asymmetry = 0.0;  // largest |Z[i][j] - Z[j][i]| over the largest |Z[i][i]|
  bool iterative = false;  // the method of the solve
  int iterations = 0;
};

// Solves the matrices at the job's frequency. For each signal conductor in turn, that conductor
// is held 1 volt above the reference and every other signal conductor at the reference's
// voltage, floating metal carrying no net current: the conductors' currents give a column of the
// admittance matrix Y, and Z = Y^-1. The job's method selects the fast iterative solve
// (Automatic, Iterative; all drives share one preconditioner) or the elimination (the reference
// path, one elimination per drive). The map's kinds must be those of the L and Rs solve (field
// marks turned back into insulators), its conductor index built.
//
// Returns false when refused, stopped or failed (the message given, abortRequested set).
bool SolveImpedanceMatrices(const LSolverJob& job, const ConductorNumbering& numbering,
                            ImpedanceMatrices& out);

}  // namespace zolva
