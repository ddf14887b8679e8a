// The key interpreter and the menu commands of the main window.
#include "program/commands.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include "geometry/geometry.h"
#include "lsolver/lsolver.h"
#include "program/bitmap_export.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/display.h"
#include "program/jobs.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/result_tables.h"
#include "program/script.h"
#include "program/services.h"
#include "program/solve_control.h"
#include "program/studies.h"

namespace zolva {
namespace {

constexpr std::size_t kMaxPathLength = 255;
constexpr int kShowNormal = 1;

struct DemonstrationMap {
  char16_t letter;
  const char* file;
};

constexpr std::array<DemonstrationMap, 19> kDemonstrationMaps{{
    {u'A', "Usermap multi-dielectric.bmp"},
    {u'D', "Usermap Stripline.bmp"},
    {u'E', "Usermap 4 to 1 wires B.bmp"},
    {u'F', "Usermap Stripline2.bmp"},
    {u'G', "Usermap Stripline3.bmp"},
    {u'H', "Usermap Stripline4.bmp"},
    {u'I', "Usermap Long double plane.bmp"},
    {u'J', "Usermap Stripline5.bmp"},
    {u'K', "Usermap multi-dielectric 3-wire B.bmp"},
    {u'L', "Usermap multi-dielectric B.bmp"},
    {u'O', "Usermap Two plate.bmp"},
    {u'P', "Usermap Small two plate.bmp"},
    {u'Q', "Usermap Medium plane.bmp"},
    {u'R', "Usermap Two ellipses.bmp"},
    {u'S', "Usermap multi-dielectric 3-wire.bmp"},
    {u'T', "Usermap 5 Wire.bmp"},
    {u'U', "Usermap Very long plane.bmp"},
    {u'W', "Usermap 4 to 1 wires A.bmp"},
    {u'Y', "Usermap Long plane.bmp"},
}};

bool IsDigit(char16_t k) {
  return k >= u'0' && k <= u'9';
}
bool IsCapital(char16_t k) {
  return k >= u'A' && k <= u'Z';
}

void Terminate(Context& ctx) {
  // As the script's TER: a running solve stops, running scripts end, the application quits.
  ctx.state.abortRequested = true;
  ctx.state.terminateRequested = true;
  ctx.platform->QuitApplication();
}

void ToggleSwitch(Context& ctx, int number) {
  SwitchBank& sw = ctx.state.switches;
  sw.SetNumbered(number, !sw.Numbered(number));
}

void SwitchesChanged(Context& ctx) {
  ShowSwitches(ctx);
  PlayClickSound(ctx);
}

// End and Home: the panel text one step smaller or larger, only in the keyboard switch mode.
void StepPanelText(Context& ctx, int delta) {
  if (!ctx.state.switches[Switch::KeyboardSwitches]) {
    ctx.keys.unknownKey = true;
    return;
  }
  constexpr int last = static_cast<int>(std::size(kPanelTextScales)) - 1;
  ctx.panel.textScaleIndex = std::clamp(ctx.panel.textScaleIndex + delta, 0, last);
  ctx.state.panelLayoutCountdown = 2;
}

void MovePointer(Context& ctx, int dx, int dy) {
  ctx.view.mouseX += dx;
  ctx.view.mouseY += dy;
  RefreshStatusLine(ctx);
}

// Keys that begin a two-key command.
bool IsPrefixKey(char16_t k) {
  return k == u'!' || k == u'#' || k == u'$' || k == u'&' || k == u'@' || k == u'F' || k == u'^' ||
         k == u'~';
}

// Keys that act alone, with no prefix pending.
void OneKeyCommand(Context& ctx, char16_t k) {
  if (IsPrefixKey(k)) {
    ctx.keys.keyPrefix = k;
    return;
  }
  for (const KeyCommand& command : OneKeyCommands())
    if (command.key == k || (command.alias != 0 && command.alias == k)) {
      command.run(ctx);
      return;
    }
  ctx.keys.unknownKey = true;
}

// "!", "@", "#", "$": the switch banks 10, 20, 30 and 40, in the keyboard switch mode only.
void SwitchBankKey(Context& ctx, char16_t prefix, char16_t k) {
  if (!ctx.state.switches[Switch::KeyboardSwitches]) return;
  if (k == u'X') {
    Terminate(ctx);
    return;
  }
  if (IsDigit(k)) {
    const int bank = prefix == u'!' ? 10 : prefix == u'@' ? 20 : prefix == u'#' ? 30 : 40;
    ToggleSwitch(ctx, bank + (k - u'0'));
  } else {
    ctx.keys.unknownKey = true;
  }
  SwitchesChanged(ctx);
}

void StudyPrefixKey(Context& ctx, char16_t k) {
  switch (k) {
    case u'L':
      StudyLandRs(ctx);
      return;
    case u'T':
      StudyTwinlead(ctx);
      return;
    case u'G':
      StudyFunction(ctx);
      return;
    case u'K':
      StudyTarget(ctx);
      return;
    case u'J':
      WriteCurrentsFile(ctx);
      return;
    case u'V':
      WriteVoltageDump(ctx);
      return;
    default:
      ctx.keys.unknownKey = true;
      return;
  }
}

// "F" and a digit: the function keys typed as two characters; other keys do nothing.
void FunctionPrefixKey(Context& ctx, char16_t k) {
  switch (k) {
    case u'1':
      ShowManual(ctx);
      return;
    case u'2':
      SaveDisplayedBitmap(ctx, true);
      return;
    case u'4':
      SolveFully(ctx);
      return;
    case u'5':
      SolveLAndRs(ctx);
      return;
    case u'6':
      SolveCAndGp(ctx);
      return;
    case u'8':
      RunNestedScript(ctx);
      return;
    default:
      return;
  }
}

void TildePrefixKey(Context& ctx, char16_t k) {
  if (k == u'9') {
    ToggleSwitch(ctx, SwitchNumber(Switch::KeyboardSwitches));
    SwitchesChanged(ctx);
    return;
  }
  if (!ctx.state.switches[Switch::KeyboardSwitches]) return;
  if (IsDigit(k)) {
    ToggleSwitch(ctx, k - u'0');
    SwitchesChanged(ctx);
  } else if (k == u'M') {
    RefreshDisplay(ctx);
  } else if (k == u'X') {
    Terminate(ctx);
  } else if (IsCapital(k) && !DemonstrationMapName(k).empty()) {
    LoadDemonstrationMap(ctx, k);
  } else {
    ctx.keys.unknownKey = true;
  }
}

void TwoKeyCommand(Context& ctx, char16_t prefix, char16_t k) {
  switch (prefix) {
    case u'!':
    case u'@':
    case u'#':
    case u'$':
      SwitchBankKey(ctx, prefix, k);
      break;
    case u'&':
      StudyPrefixKey(ctx, k);
      break;
    case u'F':
      FunctionPrefixKey(ctx, k);
      break;
    case u'~':
      TildePrefixKey(ctx, k);
      break;
    default:
      break;  // "^" and any key: nothing
  }
}

}  // namespace

std::span<const KeyCommand> OneKeyCommands() {
  // The solve commands ignore themselves while a solve runs.
  static constexpr KeyCommand kCommands[] = {
      {KeyF1, 0, "this manual", [](Context& c) { ShowManual(c); }},
      {KeyF2, 0, "save the displayed picture", [](Context& c) { SaveDisplayedBitmap(c, true); }},
      {KeyF4, 0, "solve fully", [](Context& c) { SolveFully(c); }},
      {KeyF5, 0, "solve for L and Rs", [](Context& c) { SolveLAndRs(c); }},
      {KeyF6, 0, "solve for C and Gp", [](Context& c) { SolveCAndGp(c); }},
      {KeyF8, 0, "run the script named in \"Name :\"", [](Context& c) { RunScript(c); }},
      {u'U', 0, "show no fields", [](Context& c) { SetDisplayMode(c, DisplayNoField); }},
      {u'V', 0, "show the V field", [](Context& c) { SetDisplayMode(c, DisplayVField); }},
      {u'E', 0, "show the E field", [](Context& c) { SetDisplayMode(c, DisplayEField); }},
      {u'D', 0, "show the D field", [](Context& c) { SetDisplayMode(c, DisplayDField); }},
      {u'T', 0, "show the loss", [](Context& c) { SetDisplayMode(c, DisplayLoss); }},
      {u'L', 0, "show equipotential lines", [](Context& c) { SetDisplayMode(c, DisplayVLines); }},
      {u'B', 0, "show both kinds of lines", [](Context& c) { SetDisplayMode(c, DisplayEVLines); }},
      {u'N', 0, "show E field lines", [](Context& c) { SetDisplayMode(c, DisplayELines); }},
      {u'J', 0, "plot currents on or off", [](Context& c) { TogglePlotCurrents(c); }},
      {u'H', 0, "high intensity on or off", [](Context& c) { ToggleHighIntensity(c); }},
      {u'+', u'=', "zoom in", [](Context& c) { StepZoom(c, 1); }},
      {u'-', 0, "zoom out", [](Context& c) { StepZoom(c, -1); }},
      {u'<', KeyDelete, "fewer field lines", [](Context& c) { StepLineDensity(c, -1); }},
      {u'>', KeyInsert, "more field lines", [](Context& c) { StepLineDensity(c, 1); }},
      {u'[', KeyPageDown, "rescale the Usermap one step down",
       [](Context& c) { StepRescale(c, -1); }},
      {u']', KeyPageUp, "rescale the Usermap one step up", [](Context& c) { StepRescale(c, 1); }},
      {KeyLeft, 0, "move the mouse pointer left", [](Context& c) { MovePointer(c, -1, 0); }},
      {KeyUp, 0, "move the mouse pointer up", [](Context& c) { MovePointer(c, 0, -1); }},
      {KeyRight, 0, "move the mouse pointer right", [](Context& c) { MovePointer(c, 1, 0); }},
      {KeyDown, 0, "move the mouse pointer down", [](Context& c) { MovePointer(c, 0, 1); }},
      {KeyEnd, 0, "the panel's text smaller (switch mode)",
       [](Context& c) { StepPanelText(c, -1); }},
      {KeyHome, 0, "the panel's text larger (switch mode)",
       [](Context& c) { StepPanelText(c, 1); }},
      {KeyEnter, 0, "redraw the picture", [](Context& c) { RefreshDisplay(c); }},
      {u'S', 0, "stop the solve under way", [](Context& c) { c.state.abortRequested = true; }},
      {u'X', 0, "end the program", [](Context& c) { Terminate(c); }},
      {u'M', 0, "nothing (no beep)", [](Context&) {}},
  };
  return kCommands;
}

void InterpretKey(Context& ctx) {
  KeyState& keys = ctx.keys;
  if (ctx.state.ReleasePanelFocusHook) ctx.state.ReleasePanelFocusHook();
  char16_t k = keys.commandKey;
  if (k >= u'a' && k <= u'z') k = static_cast<char16_t>(k - u'a' + u'A');
  if (keys.keyPrefix == u' ') {
    keys.unknownKey = false;
    OneKeyCommand(ctx, k);
    return;
  }
  // The prefix is taken before the command runs, so that a command that types keys itself (a
  // nested script) starts without it; whatever that left pending is dropped afterwards.
  const char16_t prefix = keys.keyPrefix;
  keys.keyPrefix = u' ';
  TwoKeyCommand(ctx, prefix, k);
  keys.lastPrefix = prefix;
  keys.keyPrefix = u' ';
}

void HandleCommandKey(Context& ctx, int key) {
  KeyState& keys = ctx.keys;
  keys.commandKey = static_cast<char16_t>(key);
  InterpretKey(ctx);
  if (keys.keyPrefix != u' ' || keys.lastPrefix == u'*') return;
  if (keys.unknownKey) {
    ctx.platform->Beep();
    keys.unknownKey = false;
  }
}

void InstallCommandHooks(Context& ctx) {
  ctx.state.HandleCommandKeyHook = [&ctx](int key) { HandleCommandKey(ctx, key); };
}

void NewGeometry(Context& ctx, GeometryKind kind) {
  if (kind != GeomTwinlead && kind != GeomSquareTwinlead && kind != GeomCoaxial)
    throw std::out_of_range("NewGeometry: not a generated geometry");
  // A stopped solve still unwinding its stage works on the map the reset would clear.
  if (SolveBusy(ctx)) {
    RequestDenied(ctx);
    return;
  }
  static constexpr const char* kCaptions[] = {"Twinlead", "Square twinlead", "Coaxial"};
  SetMainCaption(ctx, kCaptions[kind], false);
  ctx.state.geometryKind = kind;
  ctx.state.setupChanged = true;
  ctx.materials.palette.count = 0;
  ResetGeneratedMap(GeometryJobOf(ctx));
  ShowPanel(ctx, kind);
}

bool OpenUsermap(Context& ctx) {
  if (SolveBusy(ctx)) {
    RequestDenied(ctx);
    return false;
  }
  std::string path;
  if (!ctx.platform->ChooseOpenFile(ctx.state.programFolder, kOpenDialogFilter, path)) {
    ctx.platform->Beep();
    return false;
  }
  if (path.size() > kMaxPathLength) path.resize(kMaxPathLength);
  // The loader makes the geometry a Usermap once the file has been read, so a file that cannot
  // be used leaves the cross-section and its geometry as they were.
  return LoadUsermap(ctx, path);
}

void ShowManual(Context& ctx) {
  const std::string path = ctx.state.programFolder + kManualPath;
  if (OpenDocument(ctx, path, "", kShowNormal) <= 32) {
    MessageBox(ctx, "The user's manual \"" + path + "\" could not be opened.", "zolva", ButtonsOk);
  }
}

void ShowAbout(Context& ctx) {
  MessageBox(ctx, kAboutText, "zolva", ButtonsOk);
}

std::string DemonstrationMapName(char16_t letter) {
  for (const DemonstrationMap& m : kDemonstrationMaps) {
    if (m.letter == letter) return m.file;
  }
  return {};
}

bool LoadDemonstrationMap(Context& ctx, char16_t letter) {
  const std::string name = DemonstrationMapName(letter);
  if (name.empty()) throw std::out_of_range("LoadDemonstrationMap: no map for this letter");
  if (SolveBusy(ctx)) {
    RequestDenied(ctx);
    return false;
  }
  std::string path = ctx.state.programFolder + kDemonstrationFolder + name;
  std::error_code ec;
  // A program folder chosen elsewhere (--folder, FOL) holds the user's files, not the
  // demonstration maps, which stay beside the executable.
  if (!std::filesystem::is_regular_file(path, ec)) {
    const std::string beside = ctx.platform->ExecutableFolder() + kDemonstrationFolder + name;
    if (std::filesystem::is_regular_file(beside, ec)) path = beside;
  }
  if (!std::filesystem::is_regular_file(path, ec)) {
    MessageBox(ctx, "The demonstration Usermap \"" + path + "\" is not installed.", "zolva",
               ButtonsOk);
    // As a file that does not decode: a script that asked for it stops here.
    ctx.state.operationFailed = true;
    return false;
  }
  return LoadUsermap(ctx, path);
}

void PlayClickSound(Context& ctx) {
  if (!ctx.state.ready) return;
  Tone(ctx, kClickToneHz);
  ctx.platform->Sleep(kClickToneMs);
  Tone(ctx, 0);
}

}  // namespace zolva
