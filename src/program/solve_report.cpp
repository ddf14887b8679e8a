#include "program/solve_report.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/utility.h"
#include "program/context.h"
#include "program/error_estimate.h"
#include "program/results_report.h"

namespace zolva {

namespace {

// Beyond this share of the flux on the open boundary, a +1 and ground line is far from the
// balanced line in free space that it may have been meant to be.
constexpr double kFloatingNoteQdifPercent = 2.0;

bool EstimateWanted(const Context& ctx) {
  return ctx.panel.checks[CheckBoxEstimateError];
}

// Whether the ground conductor reaches across the whole width of the +1 volt conductor, as the
// plane under a microstrip or the shield around a coax does: such a line is meant to be +1 and
// ground, and what it lacks is ground width, not a -1 volt conductor.
bool GroundSpansPlus(const PixelMap& map) {
  const std::size_t w = static_cast<std::size_t>(std::max(map.Uwid, 0));
  if (w == 0 || map.Ukind.size() != w * static_cast<std::size_t>(std::max(map.Uhei, 0)))
    return false;
  std::size_t plusLo = w, plusHi = 0, groundLo = w, groundHi = 0;
  for (std::size_t p = 0; p < map.Ukind.size(); ++p) {
    const std::size_t x = p % w;
    if (map.Ukind[p] == KindPlus) {
      plusLo = std::min(plusLo, x);
      plusHi = std::max(plusHi, x);
    } else if (map.Ukind[p] == KindGround) {
      groundLo = std::min(groundLo, x);
      groundHi = std::max(groundHi, x);
    }
  }
  return plusLo <= plusHi && groundLo <= plusLo && groundHi >= plusHi;
}

}  // namespace

std::vector<std::string> CapacitanceNotes(const Context& ctx) {
  std::vector<std::string> notes;
  const ConductorIndex& ci = ctx.cindex;
  const Results& r = ctx.results;
  // A +1 volt conductor with a ground return in an open cross-section: the far field sits at
  // the ground's potential, so part of the flux leaves through the open boundary instead of
  // ending on the ground conductor. A line meant to float in free space is drawn +1 and -1.
  if (ctx.grid.apronActive && ci.hasPlus && ci.hasGround && !ci.hasMinus &&
      std::fabs(r.Qdif) > kFloatingNoteQdifPercent) {
    const std::string share = "Note: " + Str(std::fabs(r.Qdif), 0, 1) +
                              " % of the flux ends on the open boundary, not on the ground "
                              "conductor. ";
    if (GroundSpansPlus(ctx.map)) {
      notes.push_back(share +
                      "A wider ground conductor under or around the +1 volt conductor holds more "
                      "of the field.");
    } else {
      notes.push_back(share + "A line floating in free space is drawn +1 and -1 volt.");
    }
  }
  return notes;
}

void NoteSolvedFigures(Context& ctx, SolvedFigures which) {
  SolveReports& reports = ctx.reports;
  if (reports.refining) return;
  if (which == SolvedFigures::CandGp) ctx.results.notes = CapacitanceNotes(ctx);
  if (which == SolvedFigures::LandRs) ctx.results.notesL.clear();
  DrawResults(ctx);
  // With an estimate to follow, the log takes the summary once the estimate is in it.
  const bool logNow = !EstimateWanted(ctx);
  if (which == SolvedFigures::LandRs) {
    SummarizeL(ctx, logNow);
  } else {
    SummarizeC(ctx, logNow);
  }
  reports.pending.push_back(which);
}

void ReportFinishedSolves(Context& ctx) {
  SolveReports& reports = ctx.reports;
  if (reports.refining || reports.pending.empty()) return;
  std::vector<SolvedFigures> solves;
  solves.swap(reports.pending);
  std::string problem;
  if (EstimateWanted(ctx)) {
    bool lAndRs = false, cAndGp = false;
    for (SolvedFigures which : solves) {
      if (which == SolvedFigures::LandRs) lAndRs = true;
      if (which == SolvedFigures::CandGp) cAndGp = true;
    }
    // A stopped solve has no settled figures to compare finer solves with.
    if (ctx.state.solveSucceeded) {
      problem = EstimateError(ctx, lAndRs, cAndGp);
      if (!problem.empty()) ctx.results.notes.push_back(problem);
    }
    DrawResults(ctx);
    for (SolvedFigures which : solves) {
      if (which == SolvedFigures::LandRs) {
        SummarizeL(ctx, true);
      } else {
        SummarizeC(ctx, true);
      }
    }
  }
  // The notes belong to the C and Gp solve, or to an estimate that could not be made.
  if (!problem.empty()) {
    reports.statusNote = problem;
  } else if (!ctx.results.notes.empty() && solves.back() == SolvedFigures::CandGp) {
    reports.statusNote = ctx.results.notes.front();
  } else if (!ctx.results.notesL.empty() && solves.back() == SolvedFigures::LandRs) {
    reports.statusNote = ctx.results.notesL.front();
  }
  if (reports.onSolveReported) {
    for (SolvedFigures which : solves) reports.onSolveReported(which);
  }
}

void ShowStatusNote(Context& ctx) {
  if (ctx.reports.statusNote.empty()) return;
  ShowStatus(ctx, ctx.reports.statusNote);
  ctx.reports.statusNote.clear();
}

}  // namespace zolva
