#include "program/script_commands.h"

#include <cmath>
#include <filesystem>
#include <utility>

#include "core/pixel_map.h"
#include "core/utility.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/coupled_files.h"
#include "program/coupled_solve.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/result_tables.h"
#include "program/results_report.h"
#include "program/rlgc_files.h"
#include "program/rlgc_sweep.h"
#include "program/script_targets.h"
#include "program/script_words.h"
#include "program/services.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

constexpr std::size_t kMaxFolderText = 255;
// Window-show mode and result of the system's document opener: above 32 is success.
constexpr int kOpenDocumentSuccess = 32;
constexpr int kBeepPauseMs = 600;
// The sweep writes Str(v, 10, 10) cut to this many characters.
constexpr std::size_t kSweepTextLength = 11;

struct FieldCommand {
  const char* code;
  EditBox field;
};

// The field commands; the sweep takes its parameter words from the same list.
constexpr FieldCommand kFieldCommands[] = {
    {"FRE", EditBoxFrequency},
    {"SEP", EditBoxWireSeparation},
    {"DIA", EditBoxWireDiameter},
    {"INS", EditBoxInsulationDiameter},
    {"TOT", EditBoxTotalConductorPixels},
    {"CEN", EditBoxCenterConductorDia},
    {"INN", EditBoxShieldInnerDia},
    {"OUT", EditBoxShieldOuterDia},
    {"WID", EditBoxWireWidth},
    {"HEI", EditBoxWireHeight},
    {"BOT", EditBoxBottomDistance},
    {"SKE", EditBoxVerticalSkew},
    {"PIX", EditBoxPixelWidth},
    {"SID", EditBoxSideDistance},
    {"TOP", EditBoxTopDistance},
};

// The check boxes BOX sets, by number.
std::optional<CheckBox> BoxCheckBox(int n) {
  switch (n) {
    case 1:
      return CheckBoxRestrict;
    case 2:
      return CheckBoxUnending;
    case 3:
      return CheckBoxNoPrediction;
    case 4:
      return CheckBoxVoZero;
    case 5:
      return CheckBoxClassicRelaxation;
    case 7:
      return CheckBoxCoupled;
    case 10:
      return CheckBoxAddTopPlane;
    case 11:
      return CheckBoxAddBottomPlane;
    case 12:
      return CheckBoxAddSidePlanes;
    case 13:
      return CheckBoxInsulationVertical;
    case 14:
      return CheckBoxInsulationHorizontal;
    case 15:
      return CheckBoxOneWire;
    case 20:
      return CheckBoxAddFloatingWire;
    case 21:
      return CheckboxAddGroundedWire;
    case 22:
      return CheckBoxShortGroundPlane;
    case 23:
      return CheckBoxHalfGroundPlane;
    case 30:
      return CheckBoxAirDielectric;
    case 31:
      return CheckBoxShowStandardColors;
    default:
      return std::nullopt;
  }
}

// Everything a command handler works on.
struct Command {
  Context& ctx;
  ScriptRun& run;
  WordReader& words;
  const std::string& code;
};

void Fail(Command& c, std::string reason) {
  c.ctx.state.operationFailed = true;
  if (c.run.stopReason.empty()) c.run.stopReason = std::move(reason);
}

bool DryRun(const Context& ctx) {
  return ctx.state.switches[Switch::DryRun];
}

// One scripted solve of the current geometry, ended as every solve is. Returns whether a table
// row may be written. A solve that did not run to its end ends the script; under the dry run
// (Switch::DryRun) a solve skipped after its set-up is no failure, so the rest of the script can be
// checked. The relaxation of a capacitance solve ends by its own stop request, which belongs to
// that finished solve and must not skip the sweeps that follow.
bool ScriptedSolve(Command& c, bool lAndRs) {
  ProgramState& s = c.ctx.state;
  SolveForScript(c.ctx, s.geometryKind, lAndRs);
  const bool failed = s.operationFailed;
  const bool succeeded = s.solveSucceeded;
  FinishSolve(c.ctx);  // clears operationFailed after its beep
  const bool dryRun = DryRun(c.ctx);
  if (succeeded) s.abortRequested = false;
  if (failed || (!succeeded && !dryRun)) {
    Fail(c, lAndRs ? "the L and Rs solve did not complete" : "the C and Gp solve did not complete");
  }
  return succeeded && !dryRun;
}

// An L and Rs solve and its row, as LRS and every sweep step make them. The map is always
// rebuilt first, at the pixel width last typed. True when the solve ran and its row was written.
bool LandRsWithRow(Command& c) {
  ProgramState& s = c.ctx.state;
  // The field is read as a window's change handler would: the Usermap loader writes the width
  // from the file name into it directly.
  s.requestedPixelWidth = ReadLength(c.ctx.panel.edits[EditBoxPixelWidth].text);
  ShowPixelWidth(c.ctx, s.requestedPixelWidth, true);
  s.setupChanged = true;
  if (!ScriptedSolve(c, true)) return false;
  if (!WriteInductanceRow(c.ctx, c.run.rowL)) {
    Fail(c, "the L and Rs tables could not be written");
    return false;
  }
  return true;
}

void SetFieldCommand(Command& c, EditBox field) {
  // The value is the rest of the line, so that "CEN 1 mm" reads as the panel reads "1 mm".
  SetField(c.ctx, field, c.words.Rest());
  // A new frequency only invalidates the L result (done by the field itself); everything else
  // changes the map.
  if (field != EditBoxFrequency) c.ctx.state.setupChanged = true;
}

void SetGeometry(Command& c, GeometryKind kind) {
  c.ctx.state.geometryKind = kind;
  c.ctx.state.setupChanged = true;
  // The panel shows the tab of the geometry the script chose, with its fields.
  ShowPanel(c.ctx, static_cast<int>(kind));
}

void Debug(Command& c) {
  int n = c.words.Integer();
  bool on = c.words.OnOff();
  if (!c.words.Refusal().empty()) return;
  if (n < 0 || n >= kSwitchCount) {
    Fail(c, "DEB switch number " + IntText(n) + " is outside 0..49");
    return;
  }
  c.ctx.state.switches.SetNumbered(n, on);
  ShowSwitches(c.ctx);
}

void Name(Command& c) {
  SetField(c.ctx, EditBoxName, c.words.Rest());
  c.ctx.state.setupChanged = true;
  // A new name starts new L and Rs tables; the C and Gp series goes on under the new name.
  c.run.rowL = 0;
}

void Folder(Command& c) {
  std::string folder = c.words.Rest();
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  if (folder.size() > kMaxFolderText) folder.resize(kMaxFolderText);
  c.ctx.state.programFolder = folder;
}

void Open(Command& c) {
  std::string path = c.words.Path(c.ctx.state.programFolder);
  // The loader makes the geometry a Usermap once the file has been read; a file that cannot be
  // used leaves the previous cross-section, and its geometry, as they were.
  if (!LoadUsermap(c.ctx, path) || c.ctx.state.operationFailed) {
    Fail(c, "the Usermap \"" + path + "\" could not be loaded");
  }
}

void Sweep(Command& c) {
  Context& ctx = c.ctx;
  ProgramState& s = ctx.state;
  const std::string parameter = c.words.Word();
  const int steps = c.words.Integer();
  const double perDecade = c.words.Real();
  std::optional<EditBox> field = ScriptFieldOf(CommandCode(parameter));
  if (!field) {
    Fail(c, "SWE cannot sweep \"" + parameter + "\"");
    return;
  }
  // Zero steps per decade would make the factor infinite from the second step on.
  if (steps <= 0 || perDecade < 0.0 || (perDecade == 0.0 && steps > 1)) {
    Fail(c, "SWE needs a positive number of steps and of steps per decade");
    return;
  }
  const double factor = perDecade > 0.0 ? std::pow(10.0, 1.0 / perDecade) : 1.0;
  const std::string text = ctx.panel.edits.at(*field).text;
  double v = 0.0;
  std::string unit;
  if (ReadLength(text) < 0.0 || !SplitDimension(text, v, unit) || v < 0.0) {
    Fail(c, "SWE cannot start from \"" + text + "\"");
    return;
  }
  // A frequency sweep starts the R and L of an RLGC table afresh.
  const bool frequencySweep = *field == EditBoxFrequency;
  if (frequencySweep) c.run.frequencySweep.clear();
  std::optional<SweepResolution> resolution;
  if (frequencySweep && !DryRun(ctx))
    resolution.emplace(ctx, v, v * std::pow(factor, std::max(0, steps - 1)));
  for (int step = 0; step < steps && !s.operationFailed && !s.abortRequested; ++step) {
    ++c.run.rowL;
    SetField(ctx, *field, SweepFieldText(*field, v, unit));
    if (!frequencySweep) s.setupChanged = true;
    if (LandRsWithRow(c) && frequencySweep) {
      RlgcPoint p;
      p.frequency = s.frequencyMHz * 1e6;
      p.R = ctx.results.Rs;
      p.L = ctx.results.L;
      c.run.frequencySweep.push_back(p);
    }
    if (DryRun(ctx)) s.abortRequested = true;
    v *= factor;
  }
  // The dry run stops the sweep after its first step through the stop request; the request ends
  // with the sweep.
  if (DryRun(ctx)) s.abortRequested = false;
}

// The C and Gp solve that RLG takes C and G from.
void NoteCapacitance(Command& c) {
  const Context& ctx = c.ctx;
  c.run.capacitanceSolved = true;
  c.run.capacitance.C = ctx.results.C;
  c.run.capacitance.GpPerHertz =
      ctx.state.frequencyMHz > 0 ? ctx.results.Gp / (ctx.state.frequencyMHz * 1e6) : 0.0;
}

// The matrices of a coupled SOL that RLG writes: another set of conductors starts the list afresh.
void NoteCoupledMatrices(Command& c) {
  if (!c.ctx.coupled.valid) return;
  const LineMatrices& m = c.ctx.coupled.matrices;
  std::vector<LineMatrices>& points = c.run.coupledPoints;
  if (!points.empty() && (points.front().n != m.n || points.front().names != m.names))
    points.clear();
  std::erase_if(points, [&](const LineMatrices& p) { return p.frequencyHz == m.frequencyHz; });
  points.push_back(m);
}

void SolveAll(Command& c) {
  ProgramState& s = c.ctx.state;
  ++c.run.rowL;
  ++c.run.rowC;
  // SolveFully returns early, leaving the flag as it was, when the panel refuses the solve.
  s.solveSucceeded = false;
  SolveFully(c.ctx);
  if (s.solveSucceeded && c.ctx.panel.checks[CheckBoxCoupled]) {
    s.abortRequested = false;
    NoteCoupledMatrices(c);
  } else if (s.solveSucceeded) {
    s.abortRequested = false;
    NoteCapacitance(c);
  } else {
    Fail(c, "the solve did not complete");
  }
}

void LandRs(Command& c) {
  ++c.run.rowL;
  LandRsWithRow(c);
}

void CandGp(Command& c) {
  ++c.run.rowC;
  if (!ScriptedSolve(c, false)) return;
  NoteCapacitance(c);
  if (!WriteCapacitanceRow(c.ctx, c.run.rowC)) Fail(c, "the C and Gp tables could not be written");
}

// LIN length [z0]: the Touchstone file of RLG is of a line this long (a length as the panel reads
// it), between ports of z0 ohms (50 when not given). LIN 0 writes none.
void LineForTouchstone(Command& c) {
  const std::string word = c.words.Word();
  const double length = ReadLength(word);
  const std::string z0Word = c.words.Word();
  double z0 = 50.0;
  if (!z0Word.empty() && (!ParseScriptReal(z0Word, z0) || !(z0 > 0))) {
    Fail(c, "LIN needs a reference impedance above 0 ohms; got \"" + z0Word + "\"");
    return;
  }
  if (!(length >= 0)) {
    Fail(c, "LIN cannot read the length \"" + word + "\"");
    return;
  }
  c.run.lineLength = length;
  c.run.referenceImpedance = z0;
}

// SPI f: RLG also writes the LTRA card at f MHz (one of the sweep's frequencies) and the
// W-element RLGC file. SPI 0 writes neither.
void SpiceFrequency(Command& c) {
  const double f = c.words.Real();
  if (c.words.ConversionError() || f < 0) {
    Fail(c, "SPI needs a frequency in MHz, at least 0");
    return;
  }
  c.run.spiceFrequencyMHz = f;
}

// RLG path with "Coupled lines" on: the N-conductor table of the coupled SOLs at their
// frequencies, the W-element file, the CPL model at the SPI frequency (the highest when SPI is 0)
// and, with a LIN length, the 2N-port Touchstone file.
void CoupledRlgcTable(Command& c, const std::string& path) {
  Context& ctx = c.ctx;
  if (c.run.coupledPoints.empty()) {
    Fail(c, "RLG of coupled lines needs their solves (BOX 7 T, then SOL at each frequency) first");
    return;
  }
  CoupledExportSettings settings;
  settings.tablePath = path;
  settings.lineLength = c.run.lineLength;
  settings.referenceImpedance = c.run.referenceImpedance;
  settings.spiceFrequencyHz = c.run.spiceFrequencyMHz * 1e6;
  CoupledExportResult result;
  if (!WriteCoupledFiles(ctx, c.run.coupledPoints, settings, result)) {
    Fail(c, "the coupled RLGC table \"" + path + "\" could not be written");
    return;
  }
  ShowStatus(ctx, result.fitSummary);
}

// RLG path: the RLGC table of the last frequency sweep and C and Gp solve, and the files LIN and
// SPI ask for beside it. A relative path lies in the program folder, as the tables do.
void RlgcTable(Command& c) {
  Context& ctx = c.ctx;
  std::string path = c.words.Path(ctx.state.programFolder);
  if (path.empty()) {
    Fail(c, "RLG needs a file name");
    return;
  }
  if (!std::filesystem::path(path).is_absolute()) path = ctx.state.programFolder + path;
  if (DryRun(ctx)) return;
  if (ctx.panel.checks[CheckBoxCoupled]) {
    CoupledRlgcTable(c, path);
    return;
  }
  if (c.run.frequencySweep.empty()) {
    Fail(c, "RLG needs the L and Rs solves of a frequency sweep (SWE FRE) first");
    return;
  }
  if (!c.run.capacitanceSolved) {
    Fail(c, "RLG needs a C and Gp solve (CGP or SOL) first");
    return;
  }
  RlgcExportSettings settings;
  settings.tablePath = path;
  settings.lineLength = c.run.lineLength;
  settings.referenceImpedance = c.run.referenceImpedance;
  settings.spiceFrequencyMHz = c.run.spiceFrequencyMHz;
  RlgcExportResult result;
  if (!WriteRlgcFiles(ctx, CombineRlgc(c.run.frequencySweep, c.run.capacitance), settings,
                      result)) {
    Fail(c, "the RLGC table \"" + path + "\" could not be written");
    return;
  }
  if (!result.fitSummary.empty()) ShowStatus(ctx, result.fitSummary);
}

void Terminate(Command& c) {
  c.ctx.state.terminateRequested = true;
  c.ctx.platform->QuitApplication();
}

void Erase(Command& c) {
  std::error_code ec;
  std::filesystem::remove(c.run.path, ec);
  Terminate(c);
}

void Launch(Command& c) {
  int show = c.words.Integer();
  std::string path = c.words.Path(c.ctx.state.programFolder);
  if (OpenDocument(c.ctx, path, " ", show) <= kOpenDocumentSuccess) c.ctx.platform->Beep();
}

void Box(Command& c) {
  int n = c.words.Integer();
  bool on = c.words.OnOff();
  if (!c.words.Refusal().empty()) return;
  if (std::optional<CheckBox> box = BoxCheckBox(n)) {
    SetCheckBox(c.ctx, *box, on);
  } else if (n == 6) {
    c.ctx.panel.forceElimination = on;  // L and Rs by elimination whatever the size
  } else {
    if (!c.words.ConversionError()) c.words.NoteRange(IntText(n), "no check box has this number");
    c.ctx.platform->Beep();
  }
  c.ctx.state.setupChanged = true;
}

// REF n: the conductor that a coupled solve of a map without ground holds as the reference;
// 0 (the default) takes the last conductor. A map with ground always refers to the ground.
void Reference(Command& c) {
  const int n = c.words.Integer();
  if (!c.words.Refusal().empty()) return;
  if (n < 0) {
    if (!c.words.ConversionError())
      c.words.NoteRange(IntText(n), "a conductor's number is 1 or more (0: the last)");
    return;
  }
  c.ctx.panel.coupledReference = n;
}

void BeepCommand(Command& c) {
  c.ctx.platform->Beep();
  c.ctx.platform->Sleep(kBeepPauseMs);
}

void VoltageDump(Command& c) {
  if (!WriteVoltageDump(c.ctx)) Fail(c, "the voltage dump could not be written");
}

void Window(Command& c) {
  int state = c.words.Integer();
  if (state >= 0 && state <= 2) c.ctx.platform->SetMainWindowState(state);
}

void Threads(Command& c) {
  std::string word = c.words.Word();
  int n = c.ctx.panel.threadCount;
  if (word == "+") {
    n = n + 1;
  } else if (word == "-") {
    n = n - 1;
  } else {
    n = c.words.ToInteger(word);
  }
  SetThreadCountTo(c.ctx, n);
  if (!c.words.ConversionError() && c.ctx.panel.threadCount != n)
    c.words.NoteRange(word, "the thread count is " + IntText(c.ctx.panel.threadCount));
}

void Key(Command& c) {
  const std::string word = c.words.Word();
  ProgramState& s = c.ctx.state;
  for (char ch : word) {
    // A key may end the program or run a script that fails; the keys after it are not typed.
    if (s.terminateRequested || s.operationFailed) break;
    TypeCommandKey(c.ctx, static_cast<unsigned char>(ch));
  }
}

// ERR on/off [solves]: "Estimate error", and how many solves an estimate makes (2 or 3).
void EstimateErrorCommand(Command& c) {
  const bool on = c.words.OnOff();
  if (!c.words.Refusal().empty()) return;
  SetCheckBox(c.ctx, CheckBoxEstimateError, on);
  const std::string word = c.words.Word();
  if (word.empty()) return;
  const int solves = c.words.ToInteger(word);
  if (c.words.ConversionError()) return;
  if (solves != 2 && solves != 3) {
    Fail(c, "ERR takes 2 or 3 solves; got " + word);
    return;
  }
  c.ctx.panel.estimateSolves = solves;
}

void RestrictCommand(Command& c) {
  const bool on = c.words.OnOff();
  if (!c.words.Refusal().empty()) return;
  SetCheckBox(c.ctx, CheckBoxRestrict, on);
  c.ctx.state.setupChanged = true;
}

// Acts on the pictures opened after it.
void SnapCommand(Command& c) {
  const bool on = c.words.OnOff();
  if (!c.words.Refusal().empty()) return;
  SetCheckBox(c.ctx, CheckBoxSnapColours, on);
}

struct CommandRow {
  ScriptCommand about;
  void (*run)(Command&);
};

// The commands besides the field commands, each with its one-line help.
constexpr CommandRow kCommands[] = {
    {{"RES", "\"Restrict to skin depth\" on or off"}, RestrictCommand},
    {{"SNA", "snap the colours of the pictures opened after it"}, SnapCommand},
    {{"TWI", "choose the round twinlead"}, [](Command& c) { SetGeometry(c, GeomTwinlead); }},
    {{"SQU", "choose the square twinlead"}, [](Command& c) { SetGeometry(c, GeomSquareTwinlead); }},
    {{"COA", "choose the coaxial line"}, [](Command& c) { SetGeometry(c, GeomCoaxial); }},
    {{"DEB", "set a numbered switch on or off"}, Debug},
    {{"NAM", "the run's name"}, Name},
    {{"FOL", "the program folder"}, Folder},
    {{"OPE", "open a Usermap"}, Open},
    {{"SWE", "sweep a field over steps"}, Sweep},
    {{"SOL", "solve fully"}, SolveAll},
    {{"LRS", "solve for L and Rs and write a row"}, LandRs},
    {{"CGP", "solve for C and Gp and write a row"}, CandGp},
    {{"TER", "end the program"}, Terminate},
    {{"ERA", "erase the result tables"}, Erase},
    {{"LAU", "open a document"}, Launch},
    {{"BOX", "a check box on or off"}, Box},
    {{"REF", "the reference conductor of coupled lines on a map without ground"}, Reference},
    {{"BEE", "beep"}, BeepCommand},
    {{"VMA", "write the voltage dump"}, VoltageDump},
    {{"SAV", "save the displayed picture"},
     [](Command& c) { SaveDisplayedBitmapForScript(c.ctx); }},
    {{"WIN", "the main window normal, minimized or maximized"}, Window},
    {{"THR", "the thread count"}, Threads},
    {{"KEY", "type key commands"}, Key},
    {{"RLG", "write the RLGC files"}, RlgcTable},
    {{"LIN", "the line length (and impedance) of the exported files"}, LineForTouchstone},
    {{"SPI", "the frequency of the SPICE card"}, SpiceFrequency},
    {{"ERR", "the error estimate on or off"}, EstimateErrorCommand},
    {{"JMA", "write the current-density table"},
     [](Command& c) { WriteCurrentsFileForScript(c.ctx); }},
};

void Dispatch(Command& c) {
  if (std::optional<EditBox> field = ScriptFieldOf(c.code)) {
    SetFieldCommand(c, *field);
    return;
  }
  for (const CommandRow& row : kCommands)
    if (c.code == row.about.code) {
      row.run(c);
      return;
    }
  Fail(c, "unknown command");
}

}  // namespace

std::vector<ScriptCommand> ScriptCommands() {
  std::vector<ScriptCommand> all;
  for (const FieldCommand& f : kFieldCommands) all.push_back({f.code, "set a field of the panel"});
  for (const CommandRow& row : kCommands) all.push_back(row.about);
  return all;
}

std::optional<EditBox> ScriptFieldOf(std::string_view code) {
  for (const FieldCommand& f : kFieldCommands) {
    if (code == f.code) return f.field;
  }
  return std::nullopt;
}

std::string SweepFieldText(EditBox field, double v, const std::string& unit) {
  // The pixel total reads whole numbers only; a value beyond any count keeps the general form.
  if (field == EditBoxTotalConductorPixels && v < 1e15) return IntText(std::llrint(v)) + unit;
  std::string text = Str(v, 10, 10);
  std::size_t point = text.find('.');
  std::size_t keep = std::max(kSweepTextLength, point == std::string::npos ? 0 : point);
  if (text.size() > keep) text.resize(keep);
  return text + unit;
}

bool SplitDimension(std::string_view text, double& value, std::string& unit) {
  std::string compact;
  for (char ch : text) {
    if (ch != ' ') compact += ch;
  }
  std::size_t lastDigit = compact.find_last_of("0123456789");
  if (lastDigit == std::string::npos) return false;
  unit = compact.substr(lastDigit + 1);
  for (char& ch : unit) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return ParseScriptReal(std::string_view(compact).substr(0, lastDigit + 1), value);
}

void ExecuteScriptLine(Context& ctx, ScriptRun& run, const std::string& line) {
  WordReader words(line);
  const std::string code = CommandCode(words.Word());
  Command c{ctx, run, words, code};
  // The notes name the line as the user wrote it; the command may end the program.
  const std::string shown = line.substr(0, line.find_last_not_of(' ') + 1);
  Dispatch(c);
  // A refused on/off word leaves the setting as it was and ends the script: the solves after it
  // would be of settings the script did not ask for.
  if (!words.Refusal().empty()) {
    Fail(c, words.Refusal());
    return;
  }
  if (code.empty() || ctx.state.terminateRequested) return;
  words.Finish();
  for (const std::string& note : words.Notes()) {
    const std::string text =
        "Script line " + IntText(run.lineNumber) + " \"" + shown + "\": " + note;
    ShowStatus(ctx, CutText(text, kMaxStatusText));
    ctx.platform->Warn(text);
  }
}

}  // namespace zolva
