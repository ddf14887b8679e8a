// The script interpreter's entry point for the control loop.
#pragma once

namespace zolva {

struct Context;

// Runs "StartupScript.txt" from the program folder. The control loop calls it once, on the first
// tick that finds the cross-section unbuilt, when the file exists and Shift was not held at start.
void RunStartupScript(Context& ctx);

}  // namespace zolva
