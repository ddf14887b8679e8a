// What every finished solve hands to its reader: the figures on the results page, the summary
// and the log, its error estimate when one is asked for, and a call to the front end that
// reports each solve as it finishes (the headless front end prints it).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/reporter.h"

namespace zolva {

struct Context;

struct SolveReports {
  // Called once per finished solve, after its estimate, with the kind of figures it produced.
  // The results record holds them at that moment; later solves and rebuilds may clear them.
  std::function<void(SolvedFigures)> onSolveReported;
  // Solves whose figures were shown since the last report, in order.
  std::vector<SolvedFigures> pending;
  // Set while an estimate's finer solves run: their figures are taken by the estimate and are
  // neither drawn, summarised, logged nor reported.
  bool refining = false;
  // The script line being executed (number from 1; 0 outside a script) and its script file.
  int scriptLineNumber = 0;
  std::string scriptLine;
  std::string scriptPath;
  // Called once per finished coupled solve, with ctx.coupled holding its matrices.
  std::function<void()> onCoupledReported;
  // A note of the last solve for the status line, shown once the solve has ended.
  std::string statusNote;
};

// The results record holds new figures: draw them, summarise them (the log waits for the
// estimate when one follows) and remember that they await their report.
void NoteSolvedFigures(Context& ctx, SolvedFigures which);
// Runs the error estimate of the solves that await their report, when "Estimate error" is on and
// they ran to their end, then logs and reports each of them. Called at the end of every solve
// command, before its end tone.
void ReportFinishedSolves(Context& ctx);

// Shows the status note of the last solve, if any, and forgets it.
void ShowStatusNote(Context& ctx);

// The notes of the last C and Gp solve (see Results::notes), from its figures and conductors.
std::vector<std::string> CapacitanceNotes(const Context& ctx);

}  // namespace zolva
