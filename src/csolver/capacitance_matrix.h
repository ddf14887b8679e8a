// The Maxwell capacitance and conductance matrices of a line of coupled conductors: one field
// solve per conductor, that conductor at 1 volt and every other conductor and the ground at 0,
// all on one grid and one multigrid hierarchy.
#pragma once

#include <string>
#include <vector>

namespace zolva {

struct CapacitanceJob;
struct ConductorNumbering;

struct CapacitanceMatrices {
  int n = 0;              // signal conductors, the reference excluded
  std::vector<double> C;  // F/m, n x n row-major, symmetrised
  std::vector<double> G;  // S/m at the job's frequency
  // Largest |C[i][j] - C[j][i]| of the charges as solved, over the largest diagonal entry.
  double asymmetry = 0.0;
  int solves = 0;      // field solves (drives)
  int iterations = 0;  // over all drives
  std::vector<std::string> notes;
};

// Solves the matrices of the map as numbered. The job's map must have its field regions found
// (SolveSetup). C[i][j] is the charge per metre on conductor j when conductor i is at 1 volt and
// every other at 0: Maxwell's signs, positive diagonal and negative mutual terms. Each charge is
// the flux of the solved field out of the conductor's nodes, weighted by the permittivity of
// the cells it crosses, so that the symmetry of C checks the solve. G takes the same flux with
// the permittivity times the loss tangent, times omega.
//
// A map without ground has one conductor as its reference. In a closed map the reference is
// held at 0 with the others; in an open map every conductor is driven against the far field and
// the reference is then eliminated by charge neutrality (the line carries no net charge).
//
// Returns false when the solve failed, was stopped or refused (the message given, abortRequested
// set); the results record keeps its previous figures either way.
bool SolveCapacitanceMatrices(const CapacitanceJob& job, const ConductorNumbering& numbering,
                              CapacitanceMatrices& out);

}  // namespace zolva
