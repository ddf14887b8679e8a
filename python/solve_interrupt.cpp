#include "solve_interrupt.h"

#include <pybind11/pybind11.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>

#include "program/session.h"

namespace py = pybind11;

namespace zolva::python {

namespace {

// What the signal handler reaches. A handler can only find its state through static storage; it
// touches nothing but these atomics and the semaphore, all async-signal-safe.
struct Takeover {
  Takeover() { sem_init(&wake, 0, 0); }
  sem_t wake;
  std::atomic<bool> busy{false};
  std::atomic<bool> signalled{false};
  std::atomic<bool> finished{false};
};

Takeover& TheTakeover() {
  static Takeover takeover;
  return takeover;
}

void OnInterrupt(int) {
  Takeover& t = TheTakeover();
  t.signalled.store(true);
  sem_post(&t.wake);
}

}  // namespace

bool OnPythonMainThread() {
  const py::object main = py::module_::import("threading").attr("main_thread")();
  return PyThread_get_thread_ident() == main.attr("ident").cast<unsigned long>();
}

SolveInterrupt::SolveInterrupt(Session& session) : session_(session) {
  if (!OnPythonMainThread()) return;
  struct sigaction current {};
  if (sigaction(SIGINT, nullptr, &current) != 0) return;
  if (!(current.sa_flags & SA_SIGINFO) &&
      (current.sa_handler == SIG_IGN || current.sa_handler == SIG_DFL))
    return;
  Takeover& t = TheTakeover();
  if (t.busy.exchange(true)) return;
  t.signalled.store(false);
  t.finished.store(false);
  while (sem_trywait(&t.wake) == 0) {
  }
  watcher_ = std::thread([this, &t]() {
    for (;;) {
      if (sem_wait(&t.wake) != 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (t.finished.load()) return;
      if (t.signalled.load()) session_.RequestStop();
    }
  });
  struct sigaction ours {};
  ours.sa_handler = OnInterrupt;
  sigemptyset(&ours.sa_mask);
  if (sigaction(SIGINT, &ours, &python_) != 0) {
    t.finished.store(true);
    sem_post(&t.wake);
    watcher_.join();
    t.busy.store(false);
    return;
  }
  active_ = true;
}

bool SolveInterrupt::Release() {
  if (!active_) return interrupted_;
  active_ = false;
  sigaction(SIGINT, &python_, nullptr);
  Takeover& t = TheTakeover();
  t.finished.store(true);
  sem_post(&t.wake);
  watcher_.join();
  interrupted_ = t.signalled.exchange(false);
  t.busy.store(false);
  return interrupted_;
}

bool SolveInterrupt::Pending() const {
  return active_ && TheTakeover().signalled.load();
}

SolveInterrupt::~SolveInterrupt() {
  Release();
}

bool DeliverInterruptToPython() {
  PyErr_SetInterrupt();
  return PyErr_CheckSignals() == 0;
}

}  // namespace zolva::python
