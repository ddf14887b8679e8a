// The headless front end's command line, callable from tests.
#pragma once

#include <iosfwd>

namespace zolva {

// What Ctrl-C does, for tests: the running solve stops, a running script ends, the exit status
// says so. ClearInterrupts forgets every earlier one.
void SignalInterrupt();
void ClearInterrupts();

class HeadlessPlatform;

// Runs zolva-batch with the given arguments; output goes to out, messages to err.
int BatchMain(int argc, char** argv);
int RunBatch(int argc, const char* const* argv, HeadlessPlatform& platform, std::ostream& out,
             std::ostream& err);

}  // namespace zolva
