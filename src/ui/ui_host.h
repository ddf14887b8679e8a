// What the two windows ask of the program that owns them.
#pragma once

#include <functional>

namespace zolva {

class UiHost {
 public:
  virtual ~UiHost() = default;
  // Runs one user action on the program: an error that escapes it ends a running solve as every
  // unexpected error does, and afterwards both windows show the model as it then stands.
  virtual void Run(const std::function<void()>& action) = 0;
  // Both windows mirror the model again.
  virtual void SyncWindows() = 0;
  // The control panel lets go of its focused control (which commits a field being edited).
  virtual void ReleasePanelFocus() = 0;
};

}  // namespace zolva
