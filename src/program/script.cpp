#include "program/script.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "core/text_reader.h"
#include "core/utility.h"
#include "program/context.h"
#include "program/reporting.h"
#include "program/script_commands.h"
#include "program/script_targets.h"
#include "program/script_words.h"
#include "program/services.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

// The end-of-script sound: a 90 Hz tone for 600 ms.
constexpr int kEndToneHz = 90;
constexpr int kEndToneMs = 600;

enum class ReadOutcome { Read, Missing, TooManyLines };

// Reads the lines of a script, each cut to 255 characters; CR LF, LF and CR all end a line. At
// most 1000 lines are kept, and a file with more is refused whole: running the first thousand
// lines of a longer series would leave tables that look complete but are not.
ReadOutcome ReadScriptLines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return ReadOutcome::Missing;
  lines.clear();
  const bool whole = ForEachLine(in, kMaxScriptLine, [&](const std::string& line) {
    lines.push_back(line);
    return lines.size() <= static_cast<std::size_t>(kMaxScriptLines);
  });
  return whole ? ReadOutcome::Read : ReadOutcome::TooManyLines;
}

std::string FileNameOf(const std::string& path) {
  std::size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// Keeps the nesting count and the running flag right when a command escapes by an exception:
// a flag left set would refuse every later script with "A script is running."
class RunScope {
 public:
  explicit RunScope(ProgramState& s) : s_(s) {
    s_.scriptRunning = true;
    ++s_.scriptNesting;
  }
  ~RunScope() {
    --s_.scriptNesting;
    if (!finished_) s_.scriptRunning = false;
  }
  void Finish() { finished_ = true; }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

 private:
  ProgramState& s_;
  bool finished_ = false;
};

// The steps after the last line: the pending rebuild, the idle state, the end sound and a
// redraw of the main window.
void EndOfScript(Context& ctx) {
  ProgramState& s = ctx.state;
  if (s.setupChanged) RebuildCrossSection(ctx);
  s.scriptRunning = false;
  ReleaseScriptPrefix(ctx);
  EndSolve(ctx);
  ProcessPendingEvents(ctx);
  Tone(ctx, kEndToneHz);
  ctx.platform->Sleep(kEndToneMs);
  Tone(ctx, 0);
  s.redrawCountdown = 2;
}

// The script line being executed, as each solve's report names it; an inner script's lines give
// way to the outer one's again when it ends.
class LineScope {
 public:
  explicit LineScope(SolveReports& r)
      : r_(r), number_(r.scriptLineNumber), line_(r.scriptLine), path_(r.scriptPath) {}
  ~LineScope() {
    r_.scriptLineNumber = number_;
    r_.scriptLine = line_;
    r_.scriptPath = path_;
  }
  LineScope(const LineScope&) = delete;
  LineScope& operator=(const LineScope&) = delete;

 private:
  SolveReports& r_;
  int number_;
  std::string line_, path_;
};

// Whether a script may start now; a refusal that is no mere busy or invalid panel has its message
// shown. A failure left by an earlier, aborted script is forgotten: it belongs to that script.
bool ScriptMayStart(Context& ctx, const std::string& path) {
  ProgramState& s = ctx.state;
  if (SolveBusy(ctx) || CheckSetupForSolve(ctx)) return false;
  if (s.scriptRunning) {
    MessageBox(ctx, "Denied.  A script is running.", "zolva", ButtonsOk);
    return false;
  }
  if (s.scriptNesting >= kMaxScriptNesting) {
    MessageBox(ctx,
               "Denied.  Scripts run each other more than " + IntText(kMaxScriptNesting) +
                   " deep: \"" + path + "\" was not run.",
               "zolva", ButtonsOk);
    return false;
  }
  ClearPendingKeyPrefix(ctx);
  s.operationFailed = false;
  return true;
}

ScriptResult RunLines(Context& ctx, const std::string& path, const std::vector<std::string>& lines);

}  // namespace

ScriptResult RunScriptFile(Context& ctx, const std::string& path) {
  ScriptResult result;
  if (!ScriptMayStart(ctx, path)) return result;

  std::vector<std::string> lines;
  switch (ReadScriptLines(path, lines)) {
    case ReadOutcome::Missing:
      return result;
    case ReadOutcome::TooManyLines:
      result.outcome = ScriptOutcome::Failed;
      result.message = "The script \"" + path + "\" has more than " + IntText(kMaxScriptLines) +
                       " lines; it was not run.";
      MessageBox(ctx, result.message, "zolva", ButtonsOk);
      return result;
    case ReadOutcome::Read:
      break;
  }
  return RunLines(ctx, path, lines);
}

ScriptResult RunScriptLines(Context& ctx, const std::string& name,
                            const std::vector<std::string>& lines) {
  if (!ScriptMayStart(ctx, name)) return {};
  return RunLines(ctx, name, lines);
}

namespace {

ScriptResult RunLines(Context& ctx, const std::string& path,
                      const std::vector<std::string>& lines) {
  ScriptResult result;
  ProgramState& s = ctx.state;
  RunScope scope(s);
  LineScope lineScope(ctx.reports);
  ctx.reports.scriptPath = path;
  s.abortRequested = false;
  ScriptRun run;
  run.path = path;
  std::string stoppedLine;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (s.operationFailed || s.terminateRequested) break;
    const std::string line = CleanScriptLine(lines[i]);
    if (line.empty()) continue;
    run.lineNumber = static_cast<int>(i) + 1;
    ctx.reports.scriptLineNumber = run.lineNumber;
    ctx.reports.scriptLine = line.substr(0, line.find_last_not_of(' ') + 1);
    try {
      ExecuteScriptLine(ctx, run, line);
    } catch (...) {
      // As the event loop does with an error that reaches it: a running solve is ended. The
      // script ends at this line.
      OnUnexpectedError(ctx);
      s.operationFailed = true;
      if (run.stopReason.empty()) run.stopReason = "the command failed unexpectedly";
    }
    if (s.operationFailed && !s.terminateRequested) {
      result.stopLine = run.lineNumber;
      stoppedLine = line.substr(0, line.find_last_not_of(' ') + 1);
    }
  }

  if (s.terminateRequested) {
    // The program ends: the remaining lines and the end-of-script steps are skipped.
    s.scriptRunning = false;
    scope.Finish();
    result.outcome = ScriptOutcome::Terminated;
    return result;
  }

  EndOfScript(ctx);
  scope.Finish();
  if (result.stopLine > 0) {
    result.outcome = ScriptOutcome::Failed;
    result.reason = run.stopReason.empty() ? std::string("the command failed") : run.stopReason;
    result.message = "Script \"" + FileNameOf(path) + "\" stopped at line " +
                     IntText(result.stopLine) + " (" + stoppedLine + "): " + result.reason + ".";
    // Shown after the end steps, whose blank status after a stop would otherwise hide it.
    ShowStatus(ctx, result.message);
  } else {
    result.outcome = ScriptOutcome::Completed;
  }
  return result;
}

}  // namespace

ScriptResult RunScript(Context& ctx) {
  const ProgramState& s = ctx.state;
  const std::string name = s.startupScriptChecked ? ctx.panel.runName + ".txt" : kStartupScriptName;
  return RunScriptFile(ctx, s.programFolder + name);
}

void RunNestedScript(Context& ctx) {
  ProgramState& s = ctx.state;
  // Restores the outer script's flags however the inner run ends.
  struct Restore {
    ProgramState& s;
    bool running;
    bool checked;
    ~Restore() {
      s.scriptRunning = running;
      s.startupScriptChecked = checked;
    }
  } restore{s, s.scriptRunning, s.startupScriptChecked};
  s.scriptRunning = false;
  s.startupScriptChecked = true;
  RunScript(ctx);
}

}  // namespace zolva
