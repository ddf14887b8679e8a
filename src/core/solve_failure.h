// Why a computing call could not do its work, in the words the user will read. The computing
// floors never show a message themselves: they fill this record and return, and the application
// shows it (a message box with this caption and text) when the call is back.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zolva {

enum class FailureKind {
  Input,          // the map, its materials or the dimensions cannot be solved or drawn
  TooLarge,       // the map or the grid exceeds a limit
  NoConvergence,  // an iteration ran away or did not reach its tolerance
  Singular,       // the equations have no unique solution
  Memory,         // a request for memory or threads was refused
};

struct SolveFailure {
  FailureKind kind = FailureKind::Input;
  std::string message;  // the text of the message box
  std::string caption;  // its title
};

// Where a computing call leaves its failure. Only the first failure of a call is kept: the
// ones after it are consequences of the first.
using FailureSlot = std::optional<SolveFailure>;

inline void Fail(FailureSlot& slot, FailureKind kind, std::string message, std::string caption) {
  if (!slot) slot = SolveFailure{kind, std::move(message), std::move(caption)};
}

}  // namespace zolva
