// Ctrl-C during a solve that runs with the GIL released. Python's own SIGINT handler only marks
// the signal for the interpreter, which runs no bytecode until the solve returns; so for the time
// of one solve on the main thread this takes SIGINT over, stops the session from a small watcher
// thread, and gives the signal back to Python when the solve has returned, where it raises
// KeyboardInterrupt (or runs whatever handler the script installed).
#pragma once

#include <signal.h>

#include <thread>

namespace zolva {
class Session;
}

namespace zolva::python {

class SolveInterrupt {
 public:
  // Takes SIGINT over only on Python's main thread, only while Python handles the signal (not
  // when it is ignored or left to the system's default) and not within another takeover (a solve
  // started from a progress callback). Needs the GIL.
  explicit SolveInterrupt(Session& session);
  ~SolveInterrupt();
  SolveInterrupt(const SolveInterrupt&) = delete;
  SolveInterrupt& operator=(const SolveInterrupt&) = delete;

  // Whether a SIGINT has come since the takeover began (any thread).
  bool Pending() const;
  // Ends the takeover (idempotent): SIGINT is Python's again. True when one came meanwhile.
  bool Release();

 private:
  Session& session_;
  bool active_ = false;
  bool interrupted_ = false;
  struct sigaction python_ {};
  std::thread watcher_;
};

// Hands a SIGINT that came during the solve back to Python: with the GIL held, marks the signal
// and runs Python's handler. False, with the Python error set, when the handler raised (the
// default one raises KeyboardInterrupt).
bool DeliverInterruptToPython();

// Whether the calling thread is Python's main thread, the one that runs Python's signal handlers.
// Needs the GIL.
bool OnPythonMainThread();

}  // namespace zolva::python
