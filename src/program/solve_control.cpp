#include "program/solve_control.h"

#include <cmath>
#include <stdexcept>

#include "core/conductor_index.h"
#include "core/pixel_map.h"
#include "core/utility.h"
#include "csolver/capacitance.h"
#include "csolver/field_regions.h"
#include "csolver/field_solve.h"
#include "csolver/relaxation.h"
#include "csolver/summation.h"
#include "geometry/geometry.h"
#include "geometry/map_ops.h"
#include "lsolver/lsolver.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/results_report.h"
#include "program/services.h"
#include "program/solve_report.h"

namespace zolva {

namespace {}  // namespace

// The L and Rs stage. The current equations treat every insulator alike, so the field-region
// marks of the set-up are taken back first.
void LandRsStage(Context& ctx) {
  StageScope stage(ctx.state);
  for (std::int8_t& k : ctx.map.Ukind) {
    if (k == KindInsulInField) k = KindInsul;
  }
  SolveLandRs(LSolverJobOf(ctx));
  ShowFailure(ctx);
  // A Stop clicked while the stage ran lands here, before the chain decides on the next stage.
  ProcessPendingEvents(ctx);
}

void CapacitanceStage(Context& ctx) {
  StageScope stage(ctx.state);
  SolveCapacitance(CapacitanceJobOf(ctx));
  ShowFailure(ctx);
  ProcessPendingEvents(ctx);
}

namespace {

// 1 / sqrt of the pixel-weighted mean permittivity of the field regions' insulators. Without any
// insulator pixel in a field region there is nothing to weigh, and vacuum (1) is assumed.
double AssumedVelocityFactor(Context& ctx) {
  PixelMap& map = ctx.map;
  const MaterialTables& m = ctx.materials;
  if (map.Ukind.size() != map.Uindex.size()) {
    throw std::out_of_range("kind map and palette-index map differ in size");
  }
  if (map.pixelCounts.size() < static_cast<std::size_t>(kPaletteCapacity)) {
    map.pixelCounts.resize(kPaletteCapacity);
  }
  const int count = m.palette.count;
  if (count < 0 || count > kPaletteCapacity) throw std::out_of_range("palette count");
  for (int n = 0; n < count; ++n) map.pixelCounts[n] = 0;
  // Uindex is a byte and pixelCounts holds 256 entries, so the index is always in range.
  for (std::size_t p = 0; p < map.Ukind.size(); ++p) {
    if (map.Ukind[p] == KindInsulInField) ++map.pixelCounts[map.Uindex[p]];
  }
  double sum = 0.0;
  double total = 0.0;
  for (int n = count - 1; n >= 0; --n) {
    if (m.palette.entries[n].kind != KindInsul) continue;
    double pixels = map.pixelCounts[n];
    if (pixels == 0.0) continue;
    sum += pixels;
    total += pixels * m.recs.at(n).Permittivity;
  }
  if (sum == 0.0) return 1.0;
  double mean = total / sum;
  if (!(mean > 0.0)) return 1.0;
  return 1.0 / std::sqrt(mean);
}

}  // namespace

bool IndexConductors(Context& ctx, bool coupled) {
  ProgramState& s = ctx.state;
  // From here on the solve runs: Stop ends it, and the fields it depends on are closed.
  ctx.panel.stopEnabled = true;
  s.stepNumber = 1;
  s.solveSucceeded = false;
  s.abortRequested = false;
  s.solveInProgress = true;
  ctx.panel.edits[EditBoxTotalConductorPixels].enabled = false;
  ctx.panel.edits[EditBoxPixelWidth].enabled = false;
  ctx.panel.edits[EditBoxFrequency].enabled = false;
  const bool built = BuildConductorIndex(ctx.map, ctx.materials, ctx.cindex, ctx.state,
                                         ctx.reporter, ctx.failure, coupled);
  ShowFailure(ctx);
  return built;
}

bool SolveBusy(const Context& ctx) {
  return ctx.state.solveInProgress || ctx.state.stageDepth > 0;
}

int RebuildCrossSection(Context& ctx) {
  ProgramState& s = ctx.state;
  // A stage stopped by the user may still be reading the map and the grid on its way out; the
  // rebuild waits in setupChanged until it has returned.
  if (s.stageDepth > 0) {
    s.setupChanged = true;
    return kRebuildDeferred;
  }
  s.setupChanged = false;
  int code = ValidateGeometry(GeometryJobOf(ctx));
  s.lastFault.clear();
  switch (code) {
    case 0:
      break;
    case 1:
      s.lastFault = DimensionFaultText(GeometryJobOf(ctx));
      MessageBox(ctx, "Error in dimension", "Invalid geometry", ButtonsOk);
      break;
    case 2:
      s.lastFault = "the frequency " + ExactText(s.frequencyMHz) + " MHz is not above 0";
      MessageBox(ctx, "Invalid frequency", "zolva", ButtonsOk);
      break;
    case 3:
      s.lastFault = "the total of conductor pixels " + IntText(ctx.panel.totalConductorPixels) +
                    " is not above 1";
      MessageBox(ctx, "Invalid pixel total", "zolva", ButtonsOk);
      break;
    default:
      break;
  }
  if (code != 0) {
    if (!s.lastFault.empty()) ctx.platform->Warn(s.lastFault);
    return code;
  }

  ResetGrid(ctx.grid, ctx.display.fieldReady);
  ShowPixelWidth(ctx, s.requestedPixelWidth, true);
  s.omega = s.frequencyMHz * kOmegaPerMHz;
  // The old relaxation is gone with the grid: nothing is left to resume.
  ctx.panel.resumeEnabled = false;
  s.resumeCountdown = 0;
  ctx.results.C = 0.0;
  ctx.results.L = 0.0;

  bool drawn = true;
  switch (s.geometryKind) {
    case GeomTwinlead:
      drawn = GenerateRoundTwinlead(GeometryJobOf(ctx));
      break;
    case GeomSquareTwinlead:
      drawn = GenerateSquareTwinlead(GeometryJobOf(ctx));
      break;
    case GeomCoaxial:
      drawn = GenerateCoax(GeometryJobOf(ctx));
      break;
    case GeomUsermap:
      FillPaletteProperties(GeometryJobOf(ctx));
      RebuildUsermap(GeometryJobOf(ctx));
      break;
    default:
      throw std::out_of_range("geometry kind " + std::to_string(static_cast<int>(s.geometryKind)));
  }
  ShowFailure(ctx);
  DrawResults(ctx);
  ProcessPendingEvents(ctx);
  // A refused map (its message shown) must not be solved as if it had been drawn.
  return drawn ? 0 : kRebuildRefused;
}

bool MapBuiltAtPanelFrequency(const ProgramState& s) {
  return s.omega == s.frequencyMHz * kOmegaPerMHz;
}

bool CheckSetupForSolve(Context& ctx) {
  // A frequency typed since the last rebuild has not reached omega nor the skin-depth layer yet,
  // however the ticks fell: the map is rebuilt before anything reads them.
  if (!MapBuiltAtPanelFrequency(ctx.state)) ctx.state.setupChanged = true;
  if (ctx.state.setupChanged && RebuildCrossSection(ctx) == kRebuildRefused) return true;
  // A deferred rebuild leaves the map stale: no solve on it.
  if (ctx.state.setupChanged) return true;
  return ValidateGeometry(GeometryJobOf(ctx)) != 0;
}

void CheckPixelWidth(Context& ctx) {
  if (ctx.state.requestedPixelWidth != ctx.state.pixelWidth) ctx.state.setupChanged = true;
}

void SolveSetup(Context& ctx) {
  StageScope stage(ctx.state);
  ProgramState& s = ctx.state;
  s.startTime = ctx.platform->Now();
  // A new solve replaces the grid a stopped relaxation left behind.
  ctx.panel.resumeEnabled = false;
  s.resumeCountdown = 0;

  if (s.mapUnusable) {
    std::string text = "Usermap unusable: it holds more than 256 colours.";
    if (ctx.panel.checks[CheckBoxRestrict] &&
        !PaletteCanHold(ctx.materials.palette, NoCurrentMetalColor))
      text += " \"Restrict to skin depth\" counts no-current metal as one of them.";
    MessageBox(ctx, text, "Solve", ButtonsOk);
    s.solveSucceeded = false;
    s.operationFailed = true;
    s.abortRequested = true;
    return;
  }

  IndexConductors(ctx);
  if (s.abortRequested) return;
  ctx.display.copyToScreen = false;
  const bool regionsFound = FindFieldRegions(CapacitanceJobOf(ctx));
  ShowFailure(ctx);
  if (!regionsFound || s.abortRequested) return;
  ctx.results.vfAssumed = AssumedVelocityFactor(ctx);
  ProcessPendingEvents(ctx);
}

namespace {

// Under a fuzz run of the script interpreter a solve returns at once, as a completed one would,
// and leaves the results as they were.
bool StubbedSolve(Context& ctx) {
  if (!ctx.state.solvesStubbed) return false;
  ctx.state.solveSucceeded = true;
  return true;
}

// The shared start of "Solve fully" and "Solve for L and Rs": the pixel width is read from the
// panel (L and Rs depend on it), the map rebuilt if needed, the set-up run and the L and Rs stage.
// False when the solve was refused before it began.
bool StartWithLandRs(Context& ctx) {
  ProgramState& s = ctx.state;
  if (SolveBusy(ctx)) return false;
  s.requestedPixelWidth = ReadLength(ctx.panel.edits[EditBoxPixelWidth].text);
  CheckPixelWidth(ctx);
  if (CheckSetupForSolve(ctx)) return false;
  SolveSetup(ctx);
  if (!s.abortRequested) LandRsStage(ctx);
  return true;
}

}  // namespace

SolveOutcome SolveFully(Context& ctx) {
  ProgramState& s = ctx.state;
  if (StubbedSolve(ctx)) return SolveOutcome::Completed;
  if (ctx.panel.checks[CheckBoxCoupled]) {
    // Every conductor its own port: the matrices instead of the two-conductor figures.
    const bool solved = SolveCoupled(ctx);
    if (solved) ReportCoupledSolve(ctx);
    const SolveOutcome outcome = !solved                    ? SolveOutcome::Failed
                                 : ctx.state.abortRequested ? SolveOutcome::Incomplete
                                                            : SolveOutcome::Completed;
    FinishSolve(ctx);
    return outcome;
  }
  if (!StartWithLandRs(ctx)) return SolveOutcome::Refused;
  if (!s.abortRequested) {
    // The capacitance solver walks its own conductor index and field regions of the same map.
    SolveSetup(ctx);
    if (!s.abortRequested) CapacitanceStage(ctx);
  }
  ReportFinishedSolves(ctx);
  return FinishSolve(ctx);
}

SolveOutcome SolveLAndRs(Context& ctx) {
  if (StubbedSolve(ctx)) return SolveOutcome::Completed;
  if (!StartWithLandRs(ctx)) return SolveOutcome::Refused;
  ReportFinishedSolves(ctx);
  return FinishSolve(ctx);
}

SolveOutcome SolveCAndGp(Context& ctx) {
  ProgramState& s = ctx.state;
  if (StubbedSolve(ctx)) return SolveOutcome::Completed;
  if (SolveBusy(ctx)) return SolveOutcome::Refused;
  // C and Gp do not depend on the pixel width, so a changed width alone causes no rebuild.
  if (CheckSetupForSolve(ctx)) return SolveOutcome::Refused;
  SolveSetup(ctx);
  if (!s.abortRequested) CapacitanceStage(ctx);
  ReportFinishedSolves(ctx);
  return FinishSolve(ctx);
}

void SolveForScript(Context& ctx, GeometryKind kind, bool lAndRs) {
  ProgramState& s = ctx.state;
  if (StubbedSolve(ctx)) return;
  // A script started from the event handling of a stopped, still returning stage must not
  // rebuild the arrays under it.
  if (s.stageDepth > 0) {
    s.solveSucceeded = false;
    return;
  }
  // Switch::PauseScriptedSolves holds scripted runs until it is switched off from the keyboard. A
  // Stop or the closing of the window during the wait ends this solve instead: the set-up would
  // otherwise clear the request and solve all the same.
  while (s.switches[Switch::PauseScriptedSolves]) {
    if (s.abortRequested || s.windowClosing) {
      s.solveSucceeded = false;
      return;
    }
    ctx.platform->Sleep(3000);
    ProcessPendingEvents(ctx);
  }
  s.geometryKind = kind;
  ShowPanel(ctx, kind);
  if (kind == GeomUsermap && !s.setupChanged && MapBuiltAtPanelFrequency(s)) {
    RebuildUsermap(GeometryJobOf(ctx));
    ShowFailure(ctx);
  } else if (kind == GeomUsermap) {
    // The whole rebuild, here and not at a later tick: a tick after the solve would clear its
    // figures, and one before it decides whether the solve sees the new frequency.
    s.setupChanged = true;
    if (RebuildCrossSection(ctx) != 0) {
      s.solveSucceeded = false;
      s.operationFailed = true;
      return;
    }
  } else if (s.setupChanged || !MapBuiltAtPanelFrequency(s)) {
    s.setupChanged = true;
    ctx.materials.palette.count = 0;
    ResetGeneratedMap(GeometryJobOf(ctx));
    // An invalid panel (message shown) leaves no map that belongs to the script's values; a row
    // solved on the previous map would be reported as theirs.
    if (RebuildCrossSection(ctx) != 0) {
      s.solveSucceeded = false;
      s.operationFailed = true;
      return;
    }
  }
  PublishMap(GeometryJobOf(ctx));
  SolveSetup(ctx);
  if (s.switches[Switch::DryRun] || s.abortRequested) return;
  if (lAndRs) {
    LandRsStage(ctx);
  } else {
    CapacitanceStage(ctx);
  }
  ReportFinishedSolves(ctx);
}

void EndSolve(Context& ctx) {
  if (ctx.state.abortRequested) ShowStatus(ctx, " ");
  ctx.state.solveInProgress = false;
  ctx.panel.stopEnabled = false;
  ctx.panel.edits[EditBoxTotalConductorPixels].enabled = true;
  ctx.panel.edits[EditBoxPixelWidth].enabled = true;
  ctx.panel.edits[EditBoxFrequency].enabled = true;
}

SolveOutcome FinishSolve(Context& ctx) {
  EndSolve(ctx);
  ShowStatusNote(ctx);
  if (ctx.state.operationFailed) {
    ctx.platform->Beep();
    ctx.state.operationFailed = false;
    return SolveOutcome::Failed;
  }
  // A 200 Hz tone, stopped after 600 ms.
  Tone(ctx, 200);
  ctx.platform->Sleep(600);
  Tone(ctx, 0);
  return ctx.state.solveSucceeded ? SolveOutcome::Completed : SolveOutcome::Incomplete;
}

void ResumeRelaxation(Context& ctx) {
  ProgramState& s = ctx.state;
  // A resume that arrives while another solve runs, or after a rebuild has discarded the grid,
  // has nothing of its own to continue.
  if (SolveBusy(ctx) || !PlanMatchesGrid(ctx.grid)) {
    ctx.panel.resumeEnabled = PlanMatchesGrid(ctx.grid) && ctx.panel.resumeEnabled;
    return;
  }
  {
    StageScope stage(s);
    // A resumed relaxation runs until the user stops it.
    ctx.panel.checks[CheckBoxUnending] = true;
    ctx.panel.resumeEnabled = false;
    ctx.panel.stopEnabled = true;
    s.startTime = ctx.platform->Now();
    ctx.grid.solveStartTime = s.startTime;
    s.solveInProgress = true;
    ShowPanel(ctx, TabConverging);
    s.abortRequested = false;
    ResumeCapacitance(CapacitanceJobOf(ctx));
    ShowFailure(ctx);
    ctx.panel.stopEnabled = false;
    s.solveInProgress = false;
  }
  // The estimate rebuilds maps, which waits while a stage is on the call stack.
  ReportFinishedSolves(ctx);
  ShowStatusNote(ctx);
}

}  // namespace zolva
