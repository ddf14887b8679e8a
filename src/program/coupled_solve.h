// Coupled lines: every separate conductor its own port, with the C, G, L and R matrices per
// metre at the working frequency (or at a list of frequencies).
#pragma once

#include <string>
#include <vector>

#include "core/conductor_numbering.h"
#include "core/line_matrices.h"
#include "core/line_modes.h"

namespace zolva {

struct Context;

struct CoupledResults {
  bool valid = false;  // matrices holds the last coupled solve
  // The numbering of the last coupled solve; the main window writes its numbers on the picture.
  ConductorNumbering numbering;
  LineMatrices matrices;            // at the working frequency
  std::vector<LineMatrices> sweep;  // per frequency of the last sweep (SolveCoupledSweep)
  // The lossless modes of `matrices` (modes.n is 0 when the matrices describe no line).
  CoupledModes modes;
  double asymmetryC = 0.0;  // relative asymmetry of C as solved (see capacitance_matrix.h)
  double asymmetryZ = 0.0;  // of R + j omega L
  std::vector<std::string> notes;
  int seconds = 0;                 // of the whole solve
  std::vector<std::string> files;  // written by the last coupled export of these matrices
};

// The panel's "coupled" page shows the matrices of at most this many conductors; of more, it
// names the files that hold them.
inline constexpr int kCoupledPageConductors = 4;

// Solves the coupled matrices of the cross-section as it stands at the panel's frequency: the
// map rebuilt if needed, the conductors numbered, one capacitance solve and one current solve per
// conductor. Fills ctx.coupled and returns true; else false after the message (a refused
// numbering, a failed or stopped solve), with the previous matrices kept.
bool SolveCoupled(Context& ctx);

// The same at each frequency (MHz) of the list: C and G from one solve at the first frequency
// (G grows with the frequency, as the loss tangents are taken constant), R and L per frequency.
// ctx.coupled.sweep receives one record per frequency; ctx.coupled.matrices the last.
bool SolveCoupledSweep(Context& ctx, const std::vector<double>& frequenciesMHz,
                       std::string& failure);

// The coupled solve has finished: its summary goes to the status line and the log (as any solve's
// of a minute or more), and the front end hears of it.
void ReportCoupledSolve(Context& ctx);

// The lines of the results: the numbering, the matrices, the asymmetries and the notes.
std::string CoupledText(const Context& ctx);
// The diagonal and the first mutual terms of every frequency of the last sweep, one row each.
std::string CoupledSweepText(const Context& ctx);
// The text of the panel's "coupled" page: the C, L, G and R matrices and the modes of up to
// kCoupledPageConductors conductors; of more, the files of the coupled export.
std::string CoupledPageText(const Context& ctx);
// The conductors' labels of the mode lines: "1", "2", ... as numbered on the picture.
std::vector<std::string> CoupledLabels(const CoupledResults& r);
// The one-line summary that the log keeps.
std::string CoupledSummary(const Context& ctx);

}  // namespace zolva
