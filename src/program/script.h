// The script interpreter: text files of three-letter commands that set the control panel, select
// or load a cross-section, run solves and sweeps and write result tables. A script runs to its
// end inside one call; the solves it starts handle window events as they go.
#pragma once

#include <string>
#include <vector>

namespace zolva {

struct Context;

inline constexpr int kMaxScriptLines = 1000;
// Scripts that run scripts (the key pair F, 8 typed by KEY) nest at most this deep, so that a
// script that runs itself ends with a message instead of exhausting the stack.
inline constexpr int kMaxScriptNesting = 8;
inline constexpr const char* kStartupScriptName = "StartupScript.txt";

enum class ScriptOutcome {
  NotRun,      // refused (a solve runs, the panel is invalid, a script runs) or no such file
  Completed,   // every line ran
  Failed,      // a line ended the script, or the file was refused (over 1000 lines)
  Terminated,  // TER or ERA ended the program
};

struct ScriptResult {
  ScriptOutcome outcome = ScriptOutcome::NotRun;
  int stopLine = 0;     // 1-based number of the line that ended the script; 0 when none did
  std::string message;  // the status text that names where and why the script stopped
  std::string reason;   // why the line stopped it (the end of message)
};

// Runs "StartupScript.txt" from the program folder while the start-up script has not been
// checked, else the file named by the "Name :" field followed by ".txt", in the program folder.
ScriptResult RunScript(Context& ctx);
// Runs the script file at path (the headless front end names it on its command line).
ScriptResult RunScriptFile(Context& ctx, const std::string& path);
// Runs the given lines as a script named name (the headless session's single commands).
ScriptResult RunScriptLines(Context& ctx, const std::string& name,
                            const std::vector<std::string>& lines);
// The key pair F, 8: runs the named script even while a script is running. The running script's
// flags are set aside for the inner run and restored afterwards; the outer script then goes on
// with its next line unless the inner one failed or ended the program.
void RunNestedScript(Context& ctx);

}  // namespace zolva
