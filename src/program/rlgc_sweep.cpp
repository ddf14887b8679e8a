#include "program/rlgc_sweep.h"

#include "core/utility.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

// One solve as a script makes it, ended as every solve is; true when it ran to its end.
bool SolveOnce(Context& ctx, bool lAndRs) {
  ProgramState& s = ctx.state;
  if (lAndRs) {
    // The map is rebuilt for every L and Rs solve, at the pixel width last typed.
    s.requestedPixelWidth = ReadLength(ctx.panel.edits[EditBoxPixelWidth].text);
    ShowPixelWidth(ctx, s.requestedPixelWidth, true);
    s.setupChanged = true;
  }
  SolveForScript(ctx, s.geometryKind, lAndRs);
  const bool ok = s.solveSucceeded && !s.operationFailed;
  FinishSolve(ctx);
  if (ok) s.abortRequested = false;
  return ok;
}

}  // namespace

std::vector<RlgcPoint> CombineRlgc(std::vector<RlgcPoint> points, const CapacitanceSolve& c) {
  for (RlgcPoint& p : points) {
    p.C = c.C;
    p.G = c.GpPerHertz * p.frequency;
  }
  return points;
}

bool SolveRlgcSweep(Context& ctx, const std::vector<double>& frequenciesMHz,
                    std::vector<RlgcPoint>& points, std::string& failure) {
  points.clear();
  if (frequenciesMHz.empty()) {
    failure = "no frequency to solve at";
    return false;
  }
  SetField(ctx, EditBoxFrequency, ExactText(frequenciesMHz.front()));
  if (!SolveOnce(ctx, false)) {
    failure =
        "the C and Gp solve at " + ExactText(frequenciesMHz.front()) + " MHz did not complete";
    return false;
  }
  CapacitanceSolve c;
  c.C = ctx.results.C;
  if (ctx.state.frequencyMHz > 0) c.GpPerHertz = ctx.results.Gp / (ctx.state.frequencyMHz * 1e6);
  std::vector<RlgcPoint> solved;
  for (double f : frequenciesMHz) {
    SetField(ctx, EditBoxFrequency, ExactText(f));
    if (!SolveOnce(ctx, true)) {
      failure = "the L and Rs solve at " + ExactText(f) + " MHz did not complete";
      points = CombineRlgc(solved, c);
      return false;
    }
    RlgcPoint p;
    p.frequency = ctx.state.frequencyMHz * 1e6;
    p.R = ctx.results.Rs;
    p.L = ctx.results.L;
    solved.push_back(p);
  }
  points = CombineRlgc(solved, c);
  return true;
}

}  // namespace zolva
