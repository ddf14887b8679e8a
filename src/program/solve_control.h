// The 200 ms control loop and the solve commands. Everything here runs on the main thread; a solve
// runs synchronously inside the command that started it and keeps the windows alive by handling
// pending events between its stages, so these functions are re-entered from within a solve.
#pragma once

#include "program/program_state.h"

namespace zolva {

struct Context;

// RebuildCrossSection's answer when a stopped stage is still returning: the rebuild is left
// pending in setupChanged and the next tick after the stage has returned performs it.
inline constexpr int kRebuildDeferred = -1;
// The generator refused the dimensions (a map too large to hold); the previous map stays.
inline constexpr int kRebuildRefused = 4;

// One tick of the control loop (the 200 ms timer): countdowns, the pending rebuild or the
// start-up script, the elapsed-time label and the expiry of the prediction notice.
void Tick(Context& ctx);
// The first cross-section without a control loop, as the first ticks would build it: the
// start-up script when runStartupScript and it exists (once), then whatever rebuild is pending.
void BuildFirstCrossSection(Context& ctx, bool runStartupScript);

// Validates the control panel and rebuilds the map of the current geometry; 0 when the map was
// built, ValidateGeometry's code (after its message) when the panel is invalid, or
// kRebuildDeferred while a solver stage is on the call stack.
int RebuildCrossSection(Context& ctx);
// True when a solve must not start: rebuilds first if setupChanged, then validates silently.
// Whether the map, omega and the skin-depth layer were built at the frequency the panel holds.
bool MapBuiltAtPanelFrequency(const ProgramState& s);
bool CheckSetupForSolve(Context& ctx);
// Asks for a rebuild when the pixel width typed last differs (exactly) from the map's.
void CheckPixelWidth(Context& ctx);
// Marks the solve as running (Stop enabled, the pixel width, frequency and pixel total fields
// closed) and builds the conductor index; false when the map was refused.
bool IndexConductors(Context& ctx, bool coupled = false);
// The shared start of every solve: conductor index, field regions, assumed velocity factor.
void SolveSetup(Context& ctx);

// The two solver stages on the map as it stands, after SolveSetup; the error estimate runs them
// on its finer maps.
void LandRsStage(Context& ctx);
void CapacitanceStage(Context& ctx);

// How a solve command ended, read before its end clears the failure flag.
enum class SolveOutcome {
  Refused,     // never started: a solve runs, or the panel or the map was refused (message shown)
  Failed,      // a stage failed (message shown, operationFailed was set)
  Incomplete,  // ended before its figures without a failure: stopped, or the relaxation unsettled
  Completed,
};

SolveOutcome SolveFully(Context& ctx);
SolveOutcome SolveLAndRs(Context& ctx);
SolveOutcome SolveCAndGp(Context& ctx);
// Continues a stopped relaxation on the grid as it stands (the Resume button, via the tick).
void ResumeRelaxation(Context& ctx);
// One solve of the given geometry for the result tables and the parameter studies. The caller
// calls FinishSolve when it is done with the results. solveSucceeded tells whether it ran to its
// end; a rebuild refused by the panel's validation also sets operationFailed.
void SolveForScript(Context& ctx, GeometryKind kind, bool lAndRs);

// End of a solve: buttons and fields back to idle; a blank status after an abort.
void EndSolve(Context& ctx);
// EndSolve, then the end tone, or a beep when the operation failed; says how the solve ended.
SolveOutcome FinishSolve(Context& ctx);

// Marks a solver stage (set-up, L and Rs, capacitance, resumed relaxation) as on the call stack
// for its whole length, also when it leaves by an exception.
class StageScope {
 public:
  explicit StageScope(ProgramState& state) : state_(state) { ++state_.stageDepth; }
  ~StageScope() { --state_.stageDepth; }
  StageScope(const StageScope&) = delete;
  StageScope& operator=(const StageScope&) = delete;

 private:
  ProgramState& state_;
};

// A solve is running, or a stopped one has not yet unwound its stage: the arrays of the map and
// the grid are still in use, so nothing may rebuild them and no new solve may start.
bool SolveBusy(const Context& ctx);

}  // namespace zolva
