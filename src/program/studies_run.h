// The frame every parameter study runs in: the busy mark that keeps other commands out, the
// switches and the calibration letter it sets for its length, its solves and how it ends.
#pragma once

#include <array>
#include <string>

#include "program/program_state.h"

namespace zolva {

struct Context;

// What one solve of a study came to.
enum class StudyStep {
  Solved,   // ran to its end: its row may be written
  Skipped,  // the dry run skipped it
  Stopped,  // Stop, the S key or the closing window ended it
  Failed,   // refused or failed, after its message
};

// Whether the panel's inputs can be solved; when not, a message that names the input and says
// that what ("The LandRs study", ...) was not run.
bool StudyPanelValid(Context& ctx, const std::string& what);

// One L and Rs solve of the geometry for a study, rebuilt from the panel first at the pixel
// width last typed. The caller ends the solve (FinishSolve or EndSolve).
StudyStep SolveStudyStep(Context& ctx, GeometryKind kind);
// Stop, the S key, the closing window or the end of the program was asked for since the current
// solve began.
bool StudyStopRequested(const Context& ctx);

class StudyRun {
 public:
  // name is how the messages call the study ("LandRs", "target", ...).
  StudyRun(Context& ctx, std::string name);
  // Puts back the switches the study set and clears the calibration letter, however the study
  // ends, so that a later solve of the user's is not tuned by it.
  ~StudyRun();
  StudyRun(const StudyRun&) = delete;
  StudyRun& operator=(const StudyRun&) = delete;

  // Denies the study while a solve runs or unwinds (with the usual message) and, when
  // checkPanel, while the panel's inputs are invalid (with a message naming the input). On
  // success the program counts as solving until the study ends.
  bool Start(bool checkPanel);
  // Sets a switch for the study's length.
  void SetSwitch(Switch which, bool on);
  // Sets the letter whose resistance the trial parameter tunes.
  void SetCalibrationLetter(char16_t letter);

  // SolveStudyStep; a Stop asked for before it began ends the study without it.
  StudyStep Solve(GeometryKind kind);
  // A late Stop lets the solve finish but ends the study after it.
  bool StopRequested() const { return StudyStopRequested(ctx_); }

  // Ends the study: the end tone after a complete one, a beep after a failed one, neither after a
  // stop; the panel's buttons and fields go back to idle in every case. A study run by a script
  // that did not complete ends the script as a failed solve does.
  void Complete();
  void Fail();
  void Stop();
  // Ends the study as the step's outcome tells: Failed fails, Stopped stops, else complete.
  void EndAfter(StudyStep step);

  // A message box captioned "zolva" that names the study; sets the failure.
  void Refuse(const std::string& text);

  Context& ctx() { return ctx_; }
  const std::string& name() const { return name_; }

 private:
  Context& ctx_;
  std::string name_;
  std::array<signed char, kSwitchCount> savedSwitches_;  // -1: not set by the study
  bool ended_ = false;
};

}  // namespace zolva
