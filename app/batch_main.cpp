#include "batch_main.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <locale>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/pixel_map.h"
#include "core/utility.h"
#include "export_options.h"
#include "json_lines.h"
#include "platform/headless_platform.h"
#include "program/bitmap_export.h"
#include "program/commands.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/results_report.h"
#include "program/script.h"
#include "program/session.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

// Ctrl-C (or SIGTERM) acts as the Stop button: the running stage ends at its next check and
// what was reached is printed. A second one ends the program at once. A terminal delivers the
// signal to the whole process group, and `timeout -s INT` may send it more than once: signals
// within half a second of the first count as one.
std::atomic<int> interruptCount{0};
std::atomic<long long> firstInterruptNs{0};
constexpr long long kSameInterruptNs = 500'000'000;

// The figures reached so far, for a forced end: two buffers, the one the index names complete.
// Written only by the main thread; the handler only reads.
constexpr std::size_t kReachedCapacity = 16384;
char reachedText[2][kReachedCapacity];
std::size_t reachedLength[2] = {0, 0};
std::atomic<int> reachedIndex{-1};

long long MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);  // async-signal-safe
  return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void WriteAll(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t n = write(fd, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<std::size_t>(n);
  }
}

void OnInterrupt(int signal) {
  const long long now = MonotonicNs();
  if (interruptCount.fetch_add(1) == 0) {
    firstInterruptNs.store(now);
    return;
  }
  if (now - firstInterruptNs.load() < kSameInterruptNs) {
    interruptCount.store(1);
    return;
  }
  static const char kEnd[] = "zolva-batch: ended at once by a second interrupt; reached so far:\n";
  WriteAll(STDERR_FILENO, kEnd, sizeof kEnd - 1);
  const int i = reachedIndex.load();
  if (i >= 0) WriteAll(STDOUT_FILENO, reachedText[i], reachedLength[i]);
  _exit(128 + signal);
}

void PublishReached(const std::string& text) {
  const int next = reachedIndex.load() == 0 ? 1 : 0;
  const std::size_t n = std::min(text.size(), kReachedCapacity);
  std::memcpy(reachedText[next], text.data(), n);
  reachedLength[next] = n;
  reachedIndex.store(next);
}

}  // namespace

void SignalInterrupt() {
  if (interruptCount.fetch_add(1) == 0) firstInterruptNs.store(MonotonicNs());
}

void ClearInterrupts() {
  interruptCount.store(0);
  reachedIndex.store(-1);
}

namespace {

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  // SIGTERM stops the same way, so that the results reached are still printed and flushed.
  sigaction(SIGTERM, &action, nullptr);
}

struct Options {
  bool help = false;
  bool json = false;
  bool noStartup = false;
  bool verbose = false;
  bool elimination = false;
  std::string loadPath;
  std::string folder;
  std::string script;
  int threads = 0;
  int savePicture = -1;  // display mode of the picture saved at the end, -1 for none
  ExportOptions exports;
  bool estimateError = false;
  bool classicRelaxation = false;
  int estimateSolves = 0;  // 0: as the panel holds it
};

const std::string kUsage =
    std::string(
        "usage: zolva-batch [SCRIPT] [--load FILE] [--folder DIR] [--threads N] [--json]"
        " [--estimate-error] [--estimate-solves N] [--classic-relaxation] [--elimination]"
        " [--no-startup] [--save-picture MODE] [--verbose]") +
    kExportUsage + "\n";

const char* kHelp =
    "\n"
    "Computes the line constants of a transmission-line cross-section without windows.\n"
    "Without SCRIPT and --load, the default cross-section (or the one the start-up script\n"
    "builds) is solved fully, for L and Rs and for C and Gp.\n"
    "\n"
    "  SCRIPT              run this script file after the start-up script; its commands set\n"
    "                      the panel, open Usermaps, solve and write the result tables\n"
    "  --load FILE         open the Usermap FILE first (with SCRIPT: the script works on it;\n"
    "                      alone: print its colour analysis)\n"
    "  --folder DIR        use DIR as the program folder: MoreColors.txt, StartupScript.txt,\n"
    "                      the result tables and \"zolva log.txt\" are read and written there\n"
    "  --threads N         solve with N threads (1 to 64)\n"
    "  --elimination       solve L and Rs by dense elimination whatever the size (as BOX 6 ON)\n"
    "  --json              print JSON Lines instead of the results page: one object per solve\n"
    "                      as it finishes (\"type\": \"solve\": the script line, the geometry\n"
    "                      and its inputs, every figure with its unit, the estimate, the peak\n"
    "                      field and the notes), then one last object (\"type\": \"end\") with\n"
    "                      the last solve of each kind and the exit status\n"
    "  --estimate-error    after every solve, solve again at finer pixel sizes (a drawn map\n"
    "                      redrawn from its boundaries) and report each figure's extrapolated\n"
    "                      value and the error of the raw figure (the panel's \"Estimate\n"
    "                      error\", the script's ERR)\n"
    "  --estimate-solves N solves per estimate, the first included: 3 (the default: a factor\n"
    "                      of sqrt 2 apart, the order is measured) or 2 (one solve at twice\n"
    "                      the linear resolution, first order assumed); implies\n"
    "                      --estimate-error\n"
    "  --classic-relaxation solve C and Gp by the over-relaxation of earlier versions instead\n"
    "                      of the multigrid solver (the panel's \"Classic relaxation\", BOX 5)\n"
    "  --no-startup        do not run StartupScript.txt of the program folder\n"
    "  --save-picture MODE save the field picture of the last solve in display mode MODE\n"
    "                      (0 to 7) under its default name in the working folder\n"
    "  --snap              snap every colour that is not defined to the nearest defined colour\n"
    "                      of the same picture (anti-aliased drawings; JPEG always snaps)\n"
    "  --frequencies F1,F2,...  with --rlgc: the frequencies in MHz of the RLGC table\n"
    "  --rlgc FILE         after the script, one C and Gp solve and one L and Rs solve per\n"
    "                      frequency, written as a CSV table of R, L, G, C, Zo, attenuation,\n"
    "                      phase constant and velocity factor\n"
    "  --length LEN        with --rlgc: also a Touchstone file (.s2p) of a line LEN long\n"
    "                      (for instance 1m or 30cm)\n"
    "  --z0 OHMS           the reference impedance of the Touchstone file (default 50)\n"
    "  --spice F           with --rlgc: an ngspice LTRA card at F MHz (one of the table's) and\n"
    "                      a W-element RLGC file fitted over the sweep\n"
    "  --coupled           coupled lines (the panel's \"Coupled lines\", BOX 7): every separate\n"
    "                      conductor its own port; a solve gives the C, G, L and R matrices\n"
    "                      per metre and the modes (JSON: \"kind\": \"coupled\" with\n"
    "                      \"matrices\" and \"modes\" objects); with --frequencies, at each of\n"
    "                      those frequencies in MHz; with --rlgc FILE, the N-conductor table,\n"
    "                      the W-element file (.rlgc), the ngspice CPL model (.lib) at --spice F\n"
    "                      (the highest frequency when not given) and, with --length, the\n"
    "                      2N-port Touchstone file (.s4p for a pair)\n"
    "  --verbose           also print the solvers' short trace texts (B1, D0, E1, ...)\n"
    "  --help, -h          print this text\n"
    "\n"
    "Standard output holds only results (the results page, or the JSON Lines); progress,\n"
    "messages and errors go to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  every solve and script command ran to its end (or a script ended the program)\n"
    "  1  a solve, a script or a file failed, or the run was interrupted (Ctrl-C, SIGTERM)\n"
    "  2  the command line is wrong (an unknown option, a missing or invalid value)\n";

bool ParseOptions(int argc, const char* const* argv, Options& options, std::ostream& err) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        err << "zolva-batch: " << name << " needs a value\n" << kUsage;
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "--json") {
      options.json = true;
    } else if (arg == "--estimate-error") {
      options.estimateError = true;
    } else if (arg == "--classic-relaxation") {
      options.classicRelaxation = true;
    } else if (arg == "--estimate-solves") {
      const char* v = value("--estimate-solves");
      if (!v) return false;
      const std::string text = v;
      if (text != "2" && text != "3") {
        err << "zolva-batch: --estimate-solves needs 2 or 3; got \"" << text << "\"\n";
        return false;
      }
      options.estimateError = true;
      options.estimateSolves = text[0] - '0';
    } else if (arg == "--elimination") {
      options.elimination = true;
    } else if (arg == "--no-startup") {
      options.noStartup = true;
    } else if (arg == "--load") {
      const char* v = value("--load");
      if (!v) return false;
      if (*v == '\0') {
        err << "zolva-batch: --load needs a file name\n" << kUsage;
        return false;
      }
      options.loadPath = v;
    } else if (arg == "--folder") {
      const char* v = value("--folder");
      if (!v) return false;
      std::error_code ec;
      if (*v == '\0' || !std::filesystem::is_directory(v, ec)) {
        err << "zolva-batch: --folder needs an existing folder; \"" << v << "\" is none\n";
        return false;
      }
      options.folder = v;
      if (options.folder.back() != '/') options.folder += '/';
    } else if (arg == "--threads") {
      const char* v = value("--threads");
      if (!v) return false;
      std::string text = v;
      int n = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 64) {
        err << "zolva-batch: --threads needs a number from 1 to 64; got \"" << text << "\"\n";
        return false;
      }
      options.threads = n;
    } else if (arg == "--save-picture") {
      const char* v = value("--save-picture");
      if (!v) return false;
      std::string text = v;
      int n = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (ec != std::errc() || end != text.data() + text.size() || n < 0 || n > 7) {
        err << "zolva-batch: --save-picture needs a display mode from 0 to 7; got \"" << text
            << "\"\n";
        return false;
      }
      options.savePicture = n;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (const OptionReading r = ReadExportOption(argc, argv, i, options.exports, err);
               r != OptionReading::NotOurs) {
      if (r == OptionReading::Bad) return false;
    } else if (!arg.empty() && arg[0] == '-') {
      err << "zolva-batch: unknown option " << arg << "\n" << kUsage;
      return false;
    } else if (arg.empty()) {
      err << "zolva-batch: an empty script name\n" << kUsage;
      return false;
    } else if (options.script.empty()) {
      options.script = arg;
    } else {
      err << "zolva-batch: more than one script given\n" << kUsage;
      return false;
    }
  }
  return CheckExportOptions(options.exports, err);
}

// Progress lines: on a terminal they overwrite one line, into a pipe or file each is a line.
class ProgressPrinter {
 public:
  ProgressPrinter(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  void Print(const std::string& text) {
    if (text.empty() || text == " " || text == last_) return;
    last_ = text;
    if (terminal_) {
      out_ << "\r\033[K" << text << std::flush;
      open_ = true;
    } else {
      out_ << text << "\n";
    }
  }
  const std::string& Last() const { return last_; }
  void EndLine() {
    if (open_) out_ << "\n";
    open_ = false;
  }

 private:
  std::ostream& out_;
  bool terminal_;
  bool open_ = false;
  std::string last_;
};

// The stage codes the solvers show on the panel while they work (B1, D0, E10, F3, ...): a trace
// for whoever follows the prediction, clutter for everyone else.
bool IsTraceText(const std::string& text) {
  if (text.empty() || text.size() > 3 || std::string("BDEF").find(text[0]) == std::string::npos)
    return false;
  return text.find_first_not_of("0123456789", 1) == std::string::npos;
}

std::string PixelWidthText(double metres) {
  return metres > 0.0 ? ExactText(metres) + " m" : std::string("not given");
}

// What was solved, above the results page: every figure on the page is per metre of line.
std::string SolvedHeader(const Context& ctx) {
  const ProgramState& s = ctx.state;
  std::string what;
  switch (s.geometryKind) {
    case GeomUsermap:
      what = "Usermap \"" + s.mapName + "\"" +
             (ctx.map.sourcePath.empty() ? "" : " (" + ctx.map.sourcePath + ")");
      break;
    case GeomCoaxial:
      what = "generated coax";
      break;
    case GeomSquareTwinlead:
      what = "generated square twinlead";
      break;
    default:
      what = "generated round twinlead";
      break;
  }
  return "Solved: " + what + ", " + ExactText(s.frequencyMHz) + " MHz, pixel width " +
         PixelWidthText(s.pixelWidth) + "; every figure is per metre of line.\n";
}

void PrintLoadAnalysis(const Context& ctx, std::ostream& out) {
  char background[16];
  std::snprintf(background, sizeof background, "#%02X%02X%02X", ctx.map.backgroundColor & 0xFF,
                (ctx.map.backgroundColor >> 8) & 0xFF, (ctx.map.backgroundColor >> 16) & 0xFF);
  out << "name: " << ctx.state.mapName << "\n"
      << "extension: " << ctx.state.mapExtension << "\n"
      << "pixel width: " << PixelWidthText(ctx.state.pixelWidth) << "\n"
      << "size: " << ctx.map.Uwid << " x " << ctx.map.Uhei << "\n"
      << "palette colours: " << ctx.materials.palette.count << "\n"
      << "conductor pixels: " << ctx.map.condCount << "\n"
      << "background colour: " << background << "\n";
  if (ctx.map.snapped) out << "snapping: " << SnapSummary(ctx) << "\n";
  if (ctx.map.unknownColours > 0) out << "no material: " << UnknownColoursText(ctx) << "\n";
}

// Runs the script named on the command line after the start-up script. False when it could not
// be run or ended on a failure; the reason is written to err.
bool RunCommandLineScript(Context& ctx, const std::string& path, std::ostream& err,
                          const ProgressPrinter& progress) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    err << "zolva-batch: cannot open the script \"" << path << "\"\n";
    return false;
  }
  ScriptResult result;
  try {
    result = RunScriptFile(ctx, path);
  } catch (const std::exception& e) {
    OnUnexpectedError(ctx);
    err << "zolva-batch: the script \"" << path << "\" ended on an error: " << e.what() << "\n";
    return false;
  }
  switch (result.outcome) {
    case ScriptOutcome::Completed:
    case ScriptOutcome::Terminated:
      return true;
    case ScriptOutcome::Failed:
      // The script's own status line has said it already.
      if (progress.Last() != result.message) err << "zolva-batch: " << result.message << "\n";
      return false;
    case ScriptOutcome::NotRun:
      break;
  }
  err << "zolva-batch: the script \"" << path
      << "\" was not run: the control panel holds an invalid value\n";
  return false;
}

// Opens the Usermap named with --load; false when it could not (its message recorded).
bool LoadFile(Session& session, const std::string& path) {
  try {
    session.LoadUsermap(path);
    return true;
  } catch (const SessionError&) {
    return false;
  }
}

}  // namespace

int RunBatch(int argc, const char* const* argv, HeadlessPlatform& platform, std::ostream& out,
             std::ostream& err) {
  Options options;
  if (!ParseOptions(argc, argv, options, err)) return 2;
  if (options.help) {
    out << kUsage << kHelp;
    return 0;
  }

  platform.echoMessages = false;
  // The program folder is the folder of the program file: --folder stands in for it, so that
  // "MoreColors.txt", the start-up script, the tables and the log are all taken from there.
  if (!options.folder.empty()) platform.programFileOverride = options.folder + "zolva-batch";
  SessionOptions sessionOptions;
  sessionOptions.runStartupScript = !options.noStartup;
  sessionOptions.threads = options.threads > 0 ? options.threads : -1;  // else one per processor
  Session session(platform, sessionOptions);
  Context& ctx = session.context();
  const bool terminal = (&err == &std::cerr) && isatty(STDERR_FILENO);
  // Standard output carries the results alone; the progress goes to standard error.
  std::ostream& progressStream = err;
  ProgressPrinter progress(progressStream, terminal);

  // Every finished solve is printed as it finishes; the last of each kind is kept for the end.
  int solves = 0;
  std::optional<std::string> lastL, lastC;
  session.SetSolveReported([&](SolvedFigures which) {
    ++solves;
    PublishReached(ResultsPageText(ctx));
    if (!options.json) return;
    std::string object = SolveObject(ctx, which, solves);
    progress.EndLine();
    out << object << "\n" << std::flush;
    (which == SolvedFigures::LandRs ? lastL : lastC) = std::move(object);
  });
  // Coupled lines ("Coupled lines", BOX 7, --coupled): one object with the matrices per solve.
  ctx.reports.onCoupledReported = [&]() {
    ++solves;
    if (!options.json) return;
    progress.EndLine();
    out << CoupledObject(ctx, solves) << "\n" << std::flush;
  };

  std::size_t shownMessages = 0;
  auto flushMessages = [&]() {
    // The platform keeps only its newest messages; count from the first one it still holds.
    const std::size_t firstKept = platform.messageCount - platform.messages.size();
    shownMessages = std::max(shownMessages, firstKept);
    for (; shownMessages < platform.messageCount; ++shownMessages) {
      const auto& m = platform.messages[shownMessages - firstKept];
      progress.EndLine();
      err << m.caption << ": " << m.text << std::endl;
    }
  };

  bool failed = false;
  bool interrupted = false;
  ctx.state.ShowStatusHook = [&](const std::string& text) { progress.Print(text); };
  session.SetEvents([&]() {
    flushMessages();
    if (options.verbose || !IsTraceText(ctx.panel.labels[Label17]))
      progress.Print(ctx.panel.labels[Label17]);
    progress.Print(ctx.panel.labels[LabelValue]);
    if (interruptCount.load() > 0 && !interrupted) {
      interrupted = true;
      session.RequestStop();
      // As Stop in the window ends a script's series, Ctrl-C ends the script with its solve.
      if (ctx.state.scriptNesting > 0 || ctx.state.scriptRunning)
        ctx.state.terminateRequested = true;
    }
  });

  if (options.elimination) ctx.panel.forceElimination = true;
  ApplyExportOptions(ctx, options.exports);
  // The RLGC table's solves, and then, below the last progress line, the files written.
  std::string rlgcRows;
  auto exportRlgc = [&]() {
    std::ostringstream written;
    const bool ok = RunRlgcExport(ctx, options.exports, written, err, rlgcRows);
    flushMessages();
    progress.EndLine();
    progressStream << written.str();
    return ok;
  };
  if (options.estimateError) ctx.panel.checks[CheckBoxEstimateError] = true;
  if (options.classicRelaxation) ctx.panel.checks[CheckBoxClassicRelaxation] = true;
  if (options.estimateSolves > 0) ctx.panel.estimateSolves = options.estimateSolves;

  // The default cross-section (or the start-up script's).
  session.Start();
  flushMessages();
  // The start-up script ended the program (TER).
  if (ctx.state.terminateRequested) {
    if (options.json) out << FinalObject(ctx, solves, lastL, lastC, 0) << "\n";
    return 0;
  }

  if (!options.script.empty()) {
    // A Usermap named with --load is opened first, so that the script works on it. A Ctrl-C
    // before the script began leaves it unrun.
    if (interrupted) {
      failed = true;
    } else if (!options.loadPath.empty() && !LoadFile(session, options.loadPath)) {
      failed = true;
    } else {
      failed = !RunCommandLineScript(ctx, options.script, err, progress);
    }
    // The script set up the cross-section; the table's solves follow it.
    if (!failed && !interrupted && !ctx.state.terminateRequested && WantsRlgc(options.exports))
      failed = !exportRlgc();
    flushMessages();
    progress.EndLine();
    if (interrupted) {
      err << "zolva-batch: interrupted (Ctrl-C or SIGTERM); the script did not run to its end\n";
      failed = true;
    } else if (ctx.state.terminateRequested) {
      if (options.json) out << FinalObject(ctx, solves, lastL, lastC, failed ? 1 : 0) << "\n";
      return failed ? 1 : 0;
    }
    if (!options.json) out << SolvedHeader(ctx) << ResultsPageText(ctx) << rlgcRows;
  } else if (!options.loadPath.empty()) {
    if (!LoadFile(session, options.loadPath)) failed = true;
    if (!failed && WantsRlgc(options.exports)) failed = !exportRlgc();
    flushMessages();
    progress.EndLine();
    if (!failed && !options.json) PrintLoadAnalysis(ctx, out);
    if (!options.json) out << rlgcRows;
  } else if (WantsRlgc(options.exports)) {
    failed = !exportRlgc();
    flushMessages();
    progress.EndLine();
    if (interrupted) failed = true;
    if (!options.json) out << SolvedHeader(ctx) << ResultsPageText(ctx) << rlgcRows;
  } else {
    progressStream << "map: " << ctx.map.Uwid << " x " << ctx.map.Uhei << " pixels, pixel width "
                   << PixelWidthText(ctx.state.pixelWidth) << ", " << ctx.map.condCount
                   << " conductor pixels\n";
    // A stage ended by Ctrl-C is not a failure; the figures reached are printed.
    try {
      session.Solve(SolveWhat::Full);
    } catch (const SessionStopped&) {
    } catch (const SessionError&) {
      failed = true;  // its message box has been recorded, and is printed below
    }
    flushMessages();
    progress.EndLine();
    if (!options.json) out << SolvedHeader(ctx) << ResultsPageText(ctx);
  }
  // The picture of the last solve, under its default name in the working folder.
  if (options.savePicture >= 0) {
    ctx.display.displayMode = options.savePicture;
    const std::string name = DefaultPictureName(ctx);
    if (SaveDisplayedBitmap(ctx, false)) {
      progressStream << "picture: " << name << "\n";
    } else {
      failed = true;
    }
    flushMessages();
  }
  if (options.json) out << FinalObject(ctx, solves, lastL, lastC, failed ? 1 : 0) << "\n";
  return failed ? 1 : 0;
}

int BatchMain(int argc, char** argv) {
  InstallInterruptHandler();
  HeadlessPlatform platform;
  const int status = RunBatch(argc, argv, platform, std::cout, std::cerr);
  // Everything printed reaches its reader before the status does, also into a pipe.
  std::cout.flush();
  return std::cout.fail() && status == 0 ? 1 : status;
}

}  // namespace zolva
