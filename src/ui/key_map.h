// The one translation of Qt's keys into the codes the command interpreter expects: the special
// keys by their virtual key code (the interpreter adds 0xF000), everything else as the character
// it types.
#pragma once

#include <Qt>

class QKeyEvent;

namespace zolva {

// Virtual key code of a special key: page keys, end, home, arrows, insert, delete (33..46),
// numeric-pad divide and F1..F11 (111..122); 0 for every other key.
int VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers);
// The character a key press types, or 0 when it types none, is a special key or is held with Alt
// or Ctrl alone. Return and the numeric pad's Enter type 13.
int TypedCharacterOf(const QKeyEvent& event);

}  // namespace zolva
