#include "ui/key_map.h"

#include <QKeyEvent>
#include <iterator>

namespace zolva {

namespace {

struct SpecialKey {
  int qtKey;
  bool keypadOnly;  // the key means this only on the numeric pad
  int virtualKey;
};

constexpr SpecialKey kSpecialKeys[] = {
    {Qt::Key_PageUp, false, 33}, {Qt::Key_PageDown, false, 34}, {Qt::Key_End, false, 35},
    {Qt::Key_Home, false, 36},   {Qt::Key_Left, false, 37},     {Qt::Key_Up, false, 38},
    {Qt::Key_Right, false, 39},  {Qt::Key_Down, false, 40},     {Qt::Key_Print, false, 44},
    {Qt::Key_Insert, false, 45}, {Qt::Key_Delete, false, 46},   {Qt::Key_Slash, true, 111},
    {Qt::Key_F1, false, 112},    {Qt::Key_F2, false, 113},      {Qt::Key_F3, false, 114},
    {Qt::Key_F4, false, 115},    {Qt::Key_F5, false, 116},      {Qt::Key_F6, false, 117},
    {Qt::Key_F7, false, 118},    {Qt::Key_F8, false, 119},      {Qt::Key_F9, false, 120},
    {Qt::Key_F10, false, 121},   {Qt::Key_F11, false, 122},
};

}  // namespace

int VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers) {
  const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
  for (const SpecialKey& k : kSpecialKeys) {
    if (k.qtKey == qtKey && (!k.keypadOnly || keypad)) return k.virtualKey;
  }
  return 0;
}

int TypedCharacterOf(const QKeyEvent& event) {
  if (VirtualKeyOf(event.key(), event.modifiers()) != 0) return 0;
  // Alt or Ctrl with a letter is a menu mnemonic or a shortcut, not a typed command (Ctrl and
  // Alt together stand for AltGr on some systems and type a character).
  const bool alt = event.modifiers().testFlag(Qt::AltModifier);
  const bool ctrl = event.modifiers().testFlag(Qt::ControlModifier);
  if (alt != ctrl) return 0;
  if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) return 13;
  const QString text = event.text();
  if (text.isEmpty()) return 0;
  const char16_t c = text.at(0).unicode();
  // Control characters other than Return are no commands; Delete's text is its own key.
  if (c < 32 || c == 127) return 0;
  return c;
}

}  // namespace zolva
