#include "shell/solve_control.h"

#include <cmath>
#include <stdexcept>

#include "csolver/capacitance.h"
#include "csolver/field_regions.h"
#include "lsolver/conductor_index.h"
#include "lsolver/lsolver.h"
#include "setup/control_panel.h"
#include "setup/geometry.h"
#include "setup/results.h"
#include "setup/utility.h"
#include "shell/context.h"
#include "shell/pixel_map.h"
#include "shell/reporting.h"

namespace zolva {

namespace {

// The kind the field-region search gives the insulator pixels of a field region.
constexpr std::int8_t kFieldRegionKind = 8;

// The L and Rs stage. The current equations treat every insulator alike, so the field-region
// marks of the set-up are taken back first.
void LandRsStage(Context& ctx) {
  StageScope stage(ctx.state);
  for (std::int8_t& k : ctx.map.Ukind) {
    if (k == kFieldRegionKind) k = KindInsul;
  }
  SolveLandRs(ctx);
  // A Stop clicked while the stage ran lands here, before the chain decides on the next stage.
  ProcessPendingEvents(ctx);
}

void CapacitanceStage(Context& ctx) {
  StageScope stage(ctx.state);
  SolveCapacitance(ctx);
  ProcessPendingEvents(ctx);
}

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
    if (map.Ukind[p] == kFieldRegionKind) ++map.pixelCounts[map.Uindex[p]];
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
  int code = ValidateGeometry(ctx);
  switch (code) {
    case 0:
      break;
    case 1:
      MessageBox(ctx, "Error in dimension", "Invalid geometry", ButtonsOk);
      break;
    case 2:
      MessageBox(ctx, "Invalid frequency", "", ButtonsOk);
      break;
    case 3:
      MessageBox(ctx, "Invalid pixel total", "", ButtonsOk);
      break;
    default:
      break;
  }
  if (code != 0) return code;

  ResetGrid(ctx);
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
      drawn = GenerateRoundTwinlead(ctx);
      break;
    case GeomSquareTwinlead:
      drawn = GenerateSquareTwinlead(ctx);
      break;
    case GeomCoaxial:
      drawn = GenerateCoax(ctx);
      break;
    case GeomUsermap:
      FillPaletteProperties(ctx);
      RebuildUsermap(ctx);
      break;
    default:
      throw std::out_of_range("geometry kind " + std::to_string(static_cast<int>(s.geometryKind)));
  }
  DrawResults(ctx);
  ProcessPendingEvents(ctx);
  // A refused map (its message shown) must not be solved as if it had been drawn.
  return drawn ? 0 : kRebuildRefused;
}

bool CheckSetupForSolve(Context& ctx) {
  if (ctx.state.setupChanged && RebuildCrossSection(ctx) == kRebuildRefused) return true;
  // A deferred rebuild leaves the map stale: no solve on it.
  if (ctx.state.setupChanged) return true;
  return ValidateGeometry(ctx) != 0;
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
    MessageBox(ctx, "Usermap unusable: it holds more than 256 colours.", "Solve", ButtonsOk);
    s.solveSucceeded = false;
    s.operationFailed = true;
    s.abortRequested = true;
    return;
  }

  BuildConductorIndex(ctx);
  if (s.abortRequested) return;
  ctx.display.copyToScreen = false;
  if (!FindFieldRegions(ctx) || s.abortRequested) return;
  ctx.results.vfAssumed = AssumedVelocityFactor(ctx);
  ProcessPendingEvents(ctx);
}

namespace {

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

void SolveFully(Context& ctx) {
  ProgramState& s = ctx.state;
  if (!StartWithLandRs(ctx)) return;
  if (!s.abortRequested) {
    // The capacitance solver walks its own conductor index and field regions of the same map.
    SolveSetup(ctx);
    if (!s.abortRequested) CapacitanceStage(ctx);
  }
  FinishSolve(ctx);
}

void SolveLAndRs(Context& ctx) {
  if (!StartWithLandRs(ctx)) return;
  FinishSolve(ctx);
}

void SolveCAndGp(Context& ctx) {
  ProgramState& s = ctx.state;
  if (SolveBusy(ctx)) return;
  // C and Gp do not depend on the pixel width, so a changed width alone causes no rebuild.
  if (CheckSetupForSolve(ctx)) return;
  SolveSetup(ctx);
  if (!s.abortRequested) CapacitanceStage(ctx);
  FinishSolve(ctx);
}

void SolveForScript(Context& ctx, GeometryKind kind, bool lAndRs) {
  ProgramState& s = ctx.state;
  // A script started from the event handling of a stopped, still returning stage must not
  // rebuild the arrays under it.
  if (s.stageDepth > 0) {
    s.solveSucceeded = false;
    return;
  }
  // Switch 10 holds scripted runs until it is switched off from the keyboard. A Stop or the
  // closing of the window during the wait ends this solve instead: the set-up would otherwise
  // clear the request and solve all the same.
  while (s.switches[10]) {
    if (s.abortRequested || s.windowClosing) {
      s.solveSucceeded = false;
      return;
    }
    ctx.platform->Sleep(3000);
    ProcessPendingEvents(ctx);
  }
  s.geometryKind = kind;
  ShowPanel(ctx, kind);
  if (kind == GeomUsermap) {
    s.omega = s.frequencyMHz * kOmegaPerMHz;
    RebuildUsermap(ctx);
  } else if (s.setupChanged) {
    ctx.materials.palette.count = 0;
    ResetGeneratedMap(ctx);
    // An invalid panel (message shown) leaves no map that belongs to the script's values; a row
    // solved on the previous map would be reported as theirs.
    if (RebuildCrossSection(ctx) != 0) {
      s.solveSucceeded = false;
      s.operationFailed = true;
      return;
    }
  }
  PublishMap(ctx);
  SolveSetup(ctx);
  if (s.switches[24] || s.abortRequested) return;
  if (lAndRs) {
    LandRsStage(ctx);
  } else {
    CapacitanceStage(ctx);
  }
}

void EndSolve(Context& ctx) {
  if (ctx.state.abortRequested) ShowStatus(ctx, " ");
  ctx.state.solveInProgress = false;
  ctx.panel.stopEnabled = false;
  ctx.panel.edits[EditBoxTotalConductorPixels].enabled = true;
  ctx.panel.edits[EditBoxPixelWidth].enabled = true;
  ctx.panel.edits[EditBoxFrequency].enabled = true;
}

void FinishSolve(Context& ctx) {
  EndSolve(ctx);
  if (ctx.state.operationFailed) {
    ctx.platform->Beep();
    ctx.state.operationFailed = false;
    return;
  }
  // A 200 Hz tone, stopped after 600 ms.
  Tone(ctx, 200);
  ctx.platform->Sleep(600);
  Tone(ctx, 0);
}

}  // namespace zolva
