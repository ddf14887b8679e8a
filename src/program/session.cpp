#include "program/session.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/line_figures.h"
#include "core/utility.h"
#include "geometry/map_ops.h"
#include "platform/headless_platform.h"
#include "program/bitmap_export.h"
#include "program/commands.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

constexpr int kMaxThreads = 64;

// A colour of the session as a line of "MoreColors.txt", so that it is read, checked and refused
// exactly as such a line would be.
std::string MoreColorsLineOf(const UserColour& c) {
  const char* kind = nullptr;
  switch (c.kind) {
    case 0:
      kind = "0";
      break;
    case 1:
      kind = "1";
      break;
    case -1:
      kind = "-1";
      break;
    case 2:
      kind = "FLOAT";
      break;
    case 3:
      kind = "INSUL";
      break;
    default:
      throw SessionError("the colour \"" + c.name + "\" has the kind " + IntText(c.kind) +
                         "; a kind is 0 (ground), 1, -1, 2 (floating) or 3 (insulator)");
  }
  // The file gives the resistivity in micro-ohm centimetres.
  constexpr double kMicroOhmCentimetresPerOhmMetre = 1e8;
  return IntText((c.rgb >> 16) & 0xFF) + " " + IntText((c.rgb >> 8) & 0xFF) + " " +
         IntText(c.rgb & 0xFF) + " " + kind + " " +
         ExactText(c.resistivity * kMicroOhmCentimetresPerOhmMetre) + " " +
         ExactText(c.permittivity) + " " + ExactText(c.lossTangent) + " 1 " + c.name;
}

std::string ColourText(std::uint32_t rgb) {
  return "#" + Hex2(static_cast<int>((rgb >> 16) & 0xFF)) +
         Hex2(static_cast<int>((rgb >> 8) & 0xFF)) + Hex2(static_cast<int>(rgb & 0xFF));
}

SessionFigures FiguresOf(const Context& ctx) {
  const Results& r = ctx.results;
  SessionFigures f;
  f.haveL = r.L != 0.0;
  f.haveC = r.C != 0.0;
  f.L = r.L;
  f.Rs = r.Rs;
  f.C = r.C;
  f.Gp = r.Gp;
  if (f.haveL && f.haveC) {
    f.Zo = CharacteristicImpedance(r.L, r.C);
    f.vf = VelocityFactor(r.L, r.C);
  } else if (f.haveL) {
    f.Zo = ImpedanceFromInductance(r.L, r.vfAssumed);
    f.vf = r.vfAssumed;
  } else if (f.haveC) {
    f.Zo = ImpedanceFromCapacitance(r.C, r.vfAssumed);
    f.vf = r.vfAssumed;
  }
  f.VoC = r.VoC;
  f.Qdif = r.Qdif;
  f.frequencyHz = ctx.state.frequencyMHz * 1e6;
  f.pixelWidth = ctx.state.pixelWidth;
  f.estimate = r.estimate;
  f.estimateL = r.estimateL;
  f.estimateC = r.estimateC;
  f.peak = r.peak;
  f.notes = r.notes;
  f.summary = r.summary;
  return f;
}

}  // namespace

struct Session::Impl {
  Impl(HeadlessPlatform* external, const SessionOptions& o)
      : owned(external ? std::unique_ptr<HeadlessPlatform>()
                       : std::make_unique<HeadlessPlatform>()),
        platform(external ? *external : *owned),
        ctx(std::make_unique<Context>(platform)),
        options(o) {}
  // A platform the caller keeps must not call back into a session that has ended.
  ~Impl() { platform.onPendingEvents = nullptr; }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  std::unique_ptr<HeadlessPlatform> owned;
  HeadlessPlatform& platform;
  std::unique_ptr<Context> ctx;
  SessionOptions options;
  bool started = false;
  std::atomic<bool> stop{false};
  std::function<void(const std::string&)> progress;
  std::function<void()> events;
  std::function<void(SolvedFigures)> reported;
  std::string shownStage, shownValue;
  bool reportedL = false, reportedC = false;
  // The grid holds the potential of a C and Gp solve that reported its figures; a stopped or
  // failed one leaves a grid that belongs to no figures.
  bool potentialSolved = false;
  SessionFigures figures;
  // The colour table before the colours of the map LoadPixels brought; they end with that map.
  std::optional<ColorTable> baseColours;

  // Every place where a window would handle its events: the front end's own handling, the stop
  // request, the progress labels.
  void OnEvents() {
    if (events) events();
    if (stop.load()) zolva::RequestStop(*ctx);
    if (!progress) return;
    const std::string& stage = ctx->panel.labels[Label17];
    if (stage != shownStage) {
      shownStage = stage;
      if (!stage.empty()) progress(stage);
    }
    const std::string& value = ctx->panel.labels[LabelValue];
    if (value != shownValue) {
      shownValue = value;
      if (!value.empty()) progress(value);
    }
  }

  // The text of the newest message box shown since the count was `before`, or empty.
  std::string MessageSince(std::size_t before) const {
    if (platform.messageCount <= before || platform.messages.empty()) return {};
    return platform.messages.back().text;
  }

  // A call that could not do its work: the failure is the exception's, not the next solve's.
  [[noreturn]] void Fail(const std::string& text) {
    ctx->state.operationFailed = false;
    throw SessionError(text);
  }

  void RefuseWhileBusy() {
    if (SolveBusy(*ctx)) Fail("Request denied.  A solve is in progress.");
  }

  // The rebuild a tick would make of a changed panel, made now. When the panel is refused the
  // settings go back (restore) and the map stays as it was; the panel's message is thrown.
  void ApplyOrRestore(const std::function<void()>& restore, bool pendingBefore) {
    ProgramState& s = ctx->state;
    if (!s.setupChanged) return;
    const std::size_t before = platform.messageCount;
    const int code = RebuildCrossSection(*ctx);
    if (code == 0 || code == kRebuildDeferred) return;
    std::string text = MessageSince(before);
    if (!s.lastFault.empty()) text += (text.empty() ? "" : ": ") + s.lastFault;
    if (text.empty()) text = "the cross-section could not be built";
    restore();
    // A validation refuses before the map is touched; a generator that refused has drawn its
    // map again for the settings as they were.
    s.setupChanged = pendingBefore;
    if (code == kRebuildRefused) {
      s.setupChanged = true;
      RebuildCrossSection(*ctx);
    }
    Fail(text);
  }

  void RestoreBaseColours() {
    if (!baseColours) return;
    ctx->materials.table = *baseColours;
    baseColours.reset();
  }

  // After a script command or a solve: the figures its solves reported.
  void TakeFigures() {
    if (reportedC) potentialSolved = true;
    if (reportedL || reportedC) figures = FiguresOf(*ctx);
  }
};

Session::Session(const SessionOptions& options) : Session(nullptr, options) {}

Session::Session(HeadlessPlatform& platform, const SessionOptions& options)
    : Session(&platform, options) {}

Session::Session(HeadlessPlatform* platform, const SessionOptions& options)
    : impl_(std::make_unique<Impl>(platform, options)) {
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  if (!platform) {
    // A library prints nothing: message boxes and warnings are recorded, and their texts are
    // those of the errors thrown.
    m.platform.echoMessages = false;
    m.platform.echoWarnings = false;
  }
  if (!options.folder.empty()) {
    std::string folder = options.folder;
    if (folder.back() != '/') folder += '/';
    m.platform.programFileOverride = folder + "zolva";
  }
  m.platform.onPendingEvents = [&m] { m.OnEvents(); };
  ctx.state.ShowStatusHook = [&m](const std::string& text) {
    if (m.progress && !text.empty() && text != " ") m.progress(text);
  };
  ctx.reports.onSolveReported = [&m](SolvedFigures which) {
    (which == SolvedFigures::LandRs ? m.reportedL : m.reportedC) = true;
    if (m.reported) m.reported(which);
  };
  InstallCommandHooks(ctx);
  StartWithoutWindows(ctx);
  if (options.threads > 0) {
    SetThreads(options.threads);
  } else if (options.threads == 0) {
    SetThreads(1);
  }
}

Session::~Session() = default;

void Session::Start() {
  Impl& m = *impl_;
  if (m.started) return;
  m.started = true;
  // A start-up script that failed has said so (a warning); its failure stays for the next solve
  // to report, as in the desktop program.
  BuildFirstCrossSection(*m.ctx, m.options.runStartupScript);
}

void Session::Generate(GeometryKind kind,
                       const std::vector<std::pair<EditBox, std::string>>& fields,
                       const std::vector<std::pair<CheckBox, bool>>& checks) {
  Start();
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  m.RefuseWhileBusy();
  if (kind != GeomTwinlead && kind != GeomSquareTwinlead && kind != GeomCoaxial)
    m.Fail("Generate draws a round or square twinlead or a coax; got the geometry " +
           IntText(static_cast<int>(kind)));
  for (const auto& field : fields) {
    if (field.first < 0 || field.first >= kEditBoxCount) m.Fail("no field " + IntText(field.first));
  }
  for (const auto& box : checks) {
    if (box.first < 0 || box.first >= kCheckBoxCount) m.Fail("no check box " + IntText(box.first));
  }
  // Everything the new cross-section replaces, to put back when the panel refuses it.
  const GeometryKind oldKind = ctx.state.geometryKind;
  const int oldTab = ctx.panel.tab;
  const std::string oldCaption = ctx.state.mainCaption;
  const bool oldRescale = ctx.state.rescaleMenuEnabled;
  std::array<std::string, kEditBoxCount> oldTexts;
  for (int i = 0; i < kEditBoxCount; ++i) oldTexts[i] = ctx.panel.edits[i].text;
  const auto oldChecks = ctx.panel.checks;
  const bool pendingBefore = ctx.state.setupChanged;
  PixelMap oldMap = ctx.map;
  MaterialTables oldMaterials = ctx.materials;
  const std::optional<ColorTable> oldBase = m.baseColours;

  m.RestoreBaseColours();
  NewGeometry(ctx, kind);
  for (const auto& [field, text] : fields) {
    zolva::SetField(ctx, field, text);
    LeaveField(ctx, field);
  }
  for (const auto& [box, on] : checks) SetCheckBox(ctx, box, on);
  ctx.state.setupChanged = true;
  const std::size_t before = m.platform.messageCount;
  const int code = RebuildCrossSection(ctx);
  if (code == 0) return;
  std::string text = m.MessageSince(before);
  if (!ctx.state.lastFault.empty()) text += (text.empty() ? "" : ": ") + ctx.state.lastFault;
  if (text.empty()) text = "the cross-section could not be built";
  for (int i = 0; i < kEditBoxCount; ++i) {
    zolva::SetField(ctx, static_cast<EditBox>(i), oldTexts[i]);
  }
  ctx.panel.checks = oldChecks;
  ctx.map = std::move(oldMap);
  ctx.materials = std::move(oldMaterials);
  m.baseColours = oldBase;
  ctx.state.geometryKind = oldKind;
  ShowPanel(ctx, oldTab);
  ctx.state.mainCaption = oldCaption;
  ctx.state.rescaleMenuEnabled = oldRescale;
  ctx.state.setupChanged = pendingBefore;
  m.Fail(text);
}

void Session::LoadUsermap(const std::string& path) {
  Start();
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  m.RefuseWhileBusy();
  const std::size_t before = m.platform.messageCount;
  const std::optional<ColorTable> oldBase = m.baseColours;
  m.RestoreBaseColours();
  if (zolva::LoadUsermap(ctx, path) && !ctx.state.operationFailed) return;
  // A file that could not be read leaves the map, and the colours it was drawn in, as they were.
  if (ctx.state.geometryKind != GeomUsermap || ctx.map.sourcePath != path) m.baseColours = oldBase;
  const std::string text = m.MessageSince(before);
  m.Fail(text.empty() ? "the Usermap \"" + path + "\" could not be loaded" : text);
}

void Session::LoadPixels(const std::string& name, int width, int height, const std::uint8_t* rgb,
                         double pixelWidth, const std::vector<UserColour>& colours) {
  Start();
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  m.RefuseWhileBusy();
  if (width <= 0 || height <= 0 || !rgb)
    m.Fail("the picture \"" + name + "\" has no pixels (" + IntText(width) + " x " +
           IntText(height) + ")");
  UsermapName parsed = ParseUsermapFileName(name);
  if (pixelWidth > 0.0 && std::isfinite(pixelWidth)) {
    // Read back by the length reader as exactly this many metres.
    parsed.pixelWidthText = ExactText(pixelWidth) + "m";
  } else if (pixelWidth != 0.0) {
    m.Fail("the pixel width of \"" + name + "\" must be above 0 metres; got " +
           ExactText(pixelWidth));
  } else if (!(ReadLength(parsed.pixelWidthText) > 0.0)) {
    m.Fail("the picture \"" + name +
           "\" has no pixel width: give it in metres, or in its name as in \"coax(0.1mm)\"");
  }
  // The colours are checked before anything changes.
  std::vector<MoreColorsLine> lines;
  for (const UserColour& c : colours) {
    MoreColorsLine line = ParseMoreColorsLine(MoreColorsLineOf(c));
    if (line.status != MoreColorsLine::Status::Good)
      m.Fail("the colour " + ColourText(c.rgb) + " (" + c.name + "): " + line.problem);
    lines.push_back(std::move(line));
  }
  RgbImage image;
  image.width = width;
  image.height = height;
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  image.pixels.resize(n);
  for (std::size_t p = 0; p < n; ++p)
    image.pixels[p] = PackColor(rgb[3 * p], rgb[3 * p + 1], rgb[3 * p + 2]);

  const std::optional<ColorTable> oldBase = m.baseColours;
  m.RestoreBaseColours();
  const ColorTable base = ctx.materials.table;
  const std::size_t before = m.platform.messageCount;
  for (const MoreColorsLine& l : lines) {
    if (!RegisterColor(ctx.materials, ctx.reporter, l.color, l.kind, l.Resistivity, l.Permittivity,
                       l.TanDelta, l.Permeability, l.name)) {
      ctx.materials.table = base;
      m.baseColours = oldBase;
      const std::string text = m.MessageSince(before);
      m.Fail(text.empty() ? "the colours of \"" + name + "\" do not fit the colour table" : text);
    }
  }
  if (!colours.empty()) m.baseColours = base;
  if (LoadUsermapImage(ctx, parsed, std::move(image)) && !ctx.state.operationFailed) return;
  if (ctx.map.sourcePath != parsed.fileName || ctx.state.geometryKind != GeomUsermap) {
    // Refused before it replaced the map: the previous map keeps its colours.
    ctx.materials.table = base;
    m.baseColours = oldBase;
  }
  const std::string text = m.MessageSince(before);
  m.Fail(text.empty() ? "the picture \"" + name + "\" could not be loaded" : text);
}

void Session::SetField(EditBox field, const std::string& text) {
  Start();
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  m.RefuseWhileBusy();
  if (field < 0 || field >= kEditBoxCount) m.Fail("no field " + IntText(field));
  const std::string old = ctx.panel.edits[field].text;
  const bool pending = ctx.state.setupChanged;
  zolva::SetField(ctx, field, text);
  LeaveField(ctx, field);
  m.ApplyOrRestore([&] { zolva::SetField(ctx, field, old); }, pending);
}

void Session::SetCheck(CheckBox box, bool on) {
  Start();
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  m.RefuseWhileBusy();
  if (box < 0 || box >= kCheckBoxCount) m.Fail("no check box " + IntText(box));
  const bool old = ctx.panel.checks[box];
  const bool pending = ctx.state.setupChanged;
  SetCheckBox(ctx, box, on);
  m.ApplyOrRestore([&] { SetCheckBox(ctx, box, old); }, pending);
}

void Session::SetFrequencyHz(double hertz) {
  // The panel holds megahertz; the text reads back as exactly hertz / 1e6.
  SetField(EditBoxFrequency, ExactText(hertz / 1e6));
}

void Session::SetThreads(int threads) {
  Impl& m = *impl_;
  if (threads < 1 || threads > kMaxThreads)
    m.Fail("the thread count must be 1 to " + IntText(kMaxThreads) + "; got " + IntText(threads));
  m.RefuseWhileBusy();
  PanelModel& panel = m.ctx->panel;
  panel.threadMax = std::max(panel.threadMax, threads);
  panel.threadCount = threads;
}

void Session::RunCommand(const std::string& line) {
  Start();
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  m.RefuseWhileBusy();
  const std::size_t before = m.platform.messageCount;
  m.reportedL = m.reportedC = false;
  ScriptResult result;
  try {
    result = RunScriptLines(ctx, "command", {line});
  } catch (const std::exception& e) {
    OnUnexpectedError(ctx);
    m.Fail(line + ": " + e.what());
  }
  m.TakeFigures();
  // TER and ERA end a program; a session has no program to end.
  ctx.state.terminateRequested = false;
  switch (result.outcome) {
    case ScriptOutcome::Completed:
    case ScriptOutcome::Terminated:
      return;
    case ScriptOutcome::Failed:
      m.Fail(line + ": " + (result.reason.empty() ? result.message : result.reason));
    case ScriptOutcome::NotRun:
      break;
  }
  const std::string text = m.MessageSince(before);
  m.Fail(line + ": " + (text.empty() ? "the command was not run" : text));
}

SessionFigures Session::Solve(SolveWhat what, bool estimate) {
  Start();
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  m.RefuseWhileBusy();
  // A stop request belongs to the solve that runs when it is made.
  m.stop = false;
  const bool estimateChecked = ctx.panel.checks[CheckBoxEstimateError];
  ctx.panel.checks[CheckBoxEstimateError] = estimate || estimateChecked;
  const std::size_t before = m.platform.messageCount;
  m.reportedL = m.reportedC = false;
  SolveOutcome outcome = SolveOutcome::Refused;
  try {
    switch (what) {
      case SolveWhat::Full:
        outcome = SolveFully(ctx);
        break;
      case SolveWhat::CAndGp:
        outcome = SolveCAndGp(ctx);
        break;
      case SolveWhat::LAndRs:
        outcome = SolveLAndRs(ctx);
        break;
    }
  } catch (const std::exception& e) {
    // As the desktop program's event loop does with an error that reaches it.
    ctx.panel.checks[CheckBoxEstimateError] = estimateChecked;
    OnUnexpectedError(ctx);
    MessageBox(ctx, e.what(), "zolva", ButtonsOk);
    m.Fail(e.what());
  }
  ctx.panel.checks[CheckBoxEstimateError] = estimateChecked;
  const bool stopped = m.stop.exchange(false);
  const bool wantL = what != SolveWhat::CAndGp;
  const bool wantC = what != SolveWhat::LAndRs;
  if (wantC) m.potentialSolved = m.reportedC;
  const bool complete =
      outcome == SolveOutcome::Completed && (!wantL || m.reportedL) && (!wantC || m.reportedC);
  if (complete) {
    m.figures = FiguresOf(ctx);
    return m.figures;
  }
  std::string text = m.MessageSince(before);
  if (stopped && outcome != SolveOutcome::Failed && outcome != SolveOutcome::Refused) {
    ctx.state.operationFailed = false;
    throw SessionStopped(text.empty() ? "The solve was stopped before its end." : text);
  }
  if (text.empty() && outcome == SolveOutcome::Refused) text = ctx.state.lastFault;
  m.Fail(text.empty() ? "The solve did not complete." : text);
}

const SessionFigures& Session::Figures() const {
  return impl_->figures;
}

FieldGrid Session::Potential() const {
  const Context& ctx = *impl_->ctx;
  const SolverGrid& g = ctx.grid;
  FieldGrid grid;
  const std::size_t n = static_cast<std::size_t>(g.Cwid) * static_cast<std::size_t>(g.Chei);
  // A rebuild empties the grid, so a sized grid belongs to the map as it stands.
  if (!impl_->potentialSolved || ctx.results.C == 0.0 || n <= 1 || g.Cvolts.size() != n)
    return grid;
  const double dx = ctx.state.pixelWidth;
  grid.width = g.Cwid;
  grid.height = g.Chei;
  // Core node (cX, cY) is the top-left corner of Usermap pixel (cX + CtoUX, cY + CtoUY).
  grid.x0 = g.CtoUX * dx;
  grid.y0 = g.CtoUY * dx;
  grid.dx = dx;
  grid.values = g.Cvolts;
  return grid;
}

FieldGrid Session::CurrentDensity() const {
  const Context& ctx = *impl_->ctx;
  const LSolverState& ls = ctx.lsolver;
  FieldGrid grid;
  const std::size_t n = ls.pixelCurrents.size();
  const double dx = ctx.state.pixelWidth;
  // The currents of a successful solve of the map as it stands.
  if (ctx.results.L == 0.0 || n == 0 || ls.currentX.size() != n || ls.currentY.size() != n ||
      ls.solvedWidth != ctx.map.Uwid || ls.solvedHeight != ctx.map.Uhei || ls.solvedWidth <= 0 ||
      ls.solvedHeight <= 0 || !(dx > 0.0))
    return grid;
  grid.width = ls.solvedWidth;
  grid.height = ls.solvedHeight;
  // Values at the pixels' centres.
  grid.x0 = 0.5 * dx;
  grid.y0 = 0.5 * dx;
  grid.dx = dx;
  grid.values.assign(static_cast<std::size_t>(grid.width) * static_cast<std::size_t>(grid.height),
                     0.0);
  // Per ampere of the drive: half the difference of the currents into the two terminals, the
  // +1 volt conductor (else the ground) and the -1 volt conductor (else the ground), as the
  // solver drove them.
  complex plus, minus, ground;
  bool hasPlus = false, hasMinus = false;
  for (std::size_t j = 0; j < n && j < ls.currentKind.size(); ++j) {
    const complex& I = ls.pixelCurrents[j];
    if (ls.currentKind[j] == KindPlus) {
      plus = plus + I;
      hasPlus = true;
    } else if (ls.currentKind[j] == KindMinus) {
      minus = minus + I;
      hasMinus = true;
    } else if (ls.currentKind[j] == KindGround) {
      ground = ground + I;
    }
  }
  const complex drive =
      ((hasPlus ? plus : ground) - (hasMinus ? minus : ground)) / complex{2.0, 0.0};
  const double amperes = std::hypot(drive.re, drive.im);
  if (!(amperes > 0.0)) return FieldGrid{};
  const double area = dx * dx * amperes;
  for (std::size_t j = 0; j < n; ++j) {
    const int x = ls.currentX[j];
    const int y = ls.currentY[j];
    if (x < 0 || y < 0 || x >= grid.width || y >= grid.height) continue;
    const complex& I = ls.pixelCurrents[j];
    grid.values[static_cast<std::size_t>(y) * static_cast<std::size_t>(grid.width) +
                static_cast<std::size_t>(x)] = std::hypot(I.re, I.im) / area;
  }
  return grid;
}

std::vector<std::uint8_t> Session::Picture(int mode, int& width, int& height) {
  Start();
  Impl& m = *impl_;
  Context& ctx = *m.ctx;
  m.RefuseWhileBusy();
  if (mode < 0 || mode > 7) m.Fail("the display mode must be 0 to 7; got " + IntText(mode));
  const int oldMode = ctx.display.displayMode;
  ctx.display.displayMode = mode;
  RgbImage image;
  try {
    image = PaintWholeField(ctx);
  } catch (...) {
    ctx.display.displayMode = oldMode;
    throw;
  }
  ctx.display.displayMode = oldMode;
  width = image.width;
  height = image.height;
  std::vector<std::uint8_t> bytes(image.pixels.size() * 3);
  for (std::size_t p = 0; p < image.pixels.size(); ++p) {
    const std::uint32_t c = image.pixels[p];
    bytes[3 * p] = static_cast<std::uint8_t>(c & 0xFF);
    bytes[3 * p + 1] = static_cast<std::uint8_t>((c >> 8) & 0xFF);
    bytes[3 * p + 2] = static_cast<std::uint8_t>((c >> 16) & 0xFF);
  }
  return bytes;
}

void Session::SetProgress(std::function<void(const std::string&)> progress) {
  impl_->progress = std::move(progress);
}

void Session::SetEvents(std::function<void()> events) {
  impl_->events = std::move(events);
}

void Session::SetSolveReported(std::function<void(SolvedFigures)> reported) {
  impl_->reported = std::move(reported);
}

void Session::RequestStop() {
  impl_->stop.store(true);
}

Context& Session::context() {
  return *impl_->ctx;
}

const Context& Session::context() const {
  return *impl_->ctx;
}

}  // namespace zolva
