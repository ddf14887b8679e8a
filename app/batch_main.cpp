#include "batch_main.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "core/pixel_map.h"
#include "export_options.h"
#include "platform/headless_platform.h"
#include "program/bitmap_export.h"
#include "program/commands.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/results_report.h"
#include "program/script.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

// Ctrl-C (or SIGTERM) acts as the Stop button: the running stage ends at its next check and
// what was reached is printed. A second one ends the program at once.
std::atomic<int> interruptCount{0};

void OnInterrupt(int signal) {
  if (interruptCount.fetch_add(1) >= 1) _exit(128 + signal);
}

}  // namespace

void SignalInterrupt() {
  interruptCount.fetch_add(1);
}

void ClearInterrupts() {
  interruptCount.store(0);
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
  std::string loadPath;
  std::string folder;
  std::string script;
  int threads = 0;
  int savePicture = -1;  // display mode of the picture saved at the end, -1 for none
  ExportOptions exports;
};

const std::string kUsage = std::string(
                               "usage: zolva-batch [SCRIPT] [--load FILE] [--folder DIR] "
                               "[--threads N] [--json] [--no-startup] [--save-picture MODE]") +
                           kExportUsage + "\n";

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

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string JsonNumber(double x) {
  if (!std::isfinite(x)) return "null";
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s << std::setprecision(17) << x;
  return s.str();
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

void PrintLoadAnalysis(const Context& ctx, std::ostream& out) {
  char background[16];
  std::snprintf(background, sizeof background, "#%02X%02X%02X", ctx.map.backgroundColor & 0xFF,
                (ctx.map.backgroundColor >> 8) & 0xFF, (ctx.map.backgroundColor >> 16) & 0xFF);
  out << "name: " << ctx.state.mapName << "\n"
      << "extension: " << ctx.state.mapExtension << "\n"
      << "pixel width: " << JsonNumber(ctx.state.pixelWidth) << " m\n"
      << "size: " << ctx.map.Uwid << " x " << ctx.map.Uhei << "\n"
      << "palette colours: " << ctx.materials.palette.count << "\n"
      << "conductor pixels: " << ctx.map.condCount << "\n"
      << "background colour: " << background << "\n";
  if (ctx.map.snapped) out << "snapping: " << SnapSummary(ctx) << "\n";
}

void PrintJson(const Context& ctx, std::ostream& out) {
  const Results& r = ctx.results;
  out << "{\n";
  out << "  \"map\": {\"Uwid\": " << ctx.map.Uwid << ", \"Uhei\": " << ctx.map.Uhei
      << ", \"condCount\": " << ctx.map.condCount
      << ", \"pixelWidth\": " << JsonNumber(ctx.state.pixelWidth)
      << ", \"geometryKind\": " << static_cast<int>(ctx.state.geometryKind)
      << ", \"mapName\": " << JsonString(ctx.state.mapName) << "},\n";
  out << "  \"results\": {\"L\": " << JsonNumber(r.L) << ", \"Rs\": " << JsonNumber(r.Rs)
      << ", \"C\": " << JsonNumber(r.C) << ", \"Gp\": " << JsonNumber(r.Gp)
      << ", \"VoL\": " << JsonNumber(r.VoL) << ", \"Ignd\": " << JsonNumber(r.Ignd)
      << ", \"VoC\": " << JsonNumber(r.VoC) << ", \"Qdif\": " << JsonNumber(r.Qdif)
      << ", \"runSecondsL\": " << r.runSecondsL << ", \"runSecondsC\": " << r.runSecondsC
      << ", \"vfAssumed\": " << JsonNumber(r.vfAssumed) << ", \"floatVolts\": {";
  // The solved voltage of every floating colour, keyed by palette index.
  bool first = true;
  const int paletteCount = ctx.materials.palette.count;
  for (int i = 0; i < paletteCount && i < static_cast<int>(r.floatVolts.size()); ++i) {
    if (ctx.materials.palette.entries[static_cast<std::size_t>(i)].kind != KindFloat) continue;
    out << (first ? "" : ", ") << "\"" << i << "\": " << JsonNumber(r.floatVolts[i]);
    first = false;
  }
  out << "}";
  // Zo and the velocity factor need both line constants of a lossless line.
  if (r.L > 0 && r.C > 0) {
    out << ", \"Zo\": " << JsonNumber(CharacteristicImpedance(r.L, r.C))
        << ", \"vf\": " << JsonNumber(VelocityFactor(r.L, r.C));
  }
  out << "},\n";
  out << "  \"operationFailed\": " << (ctx.state.operationFailed ? "true" : "false")
      << ", \"solveSucceeded\": " << (ctx.state.solveSucceeded ? "true" : "false") << "\n";
  out << "}\n";
}

// Runs the script named on the command line after the start-up script. False when it could not
// be run or ended on a failure; the reason is written to err.
bool RunCommandLineScript(Context& ctx, const std::string& path, std::ostream& err) {
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
      err << "zolva-batch: " << result.message << "\n";
      return false;
    case ScriptOutcome::NotRun:
      break;
  }
  err << "zolva-batch: the script \"" << path
      << "\" was not run: the control panel holds an invalid value\n";
  return false;
}

}  // namespace

int RunBatch(int argc, const char* const* argv, HeadlessPlatform& platform, std::ostream& out,
             std::ostream& err) {
  Options options;
  if (!ParseOptions(argc, argv, options, err)) return 2;
  if (options.help) {
    out << kUsage;
    return 0;
  }

  platform.echoMessages = false;
  Context ctx(platform);
  const bool terminal = (&out == &std::cout) && isatty(STDOUT_FILENO);
  // With --json, standard output carries the JSON object alone; the progress goes to stderr.
  std::ostream& progressStream = options.json ? err : out;
  ProgressPrinter progress(progressStream, terminal && !options.json);

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
  InstallCommandHooks(ctx);
  // The desktop program's timer fires every 200 ms, also while a solve handles its events.
  auto lastTick = std::chrono::steady_clock::now();
  platform.onPendingEvents = [&]() {
    flushMessages();
    progress.Print(ctx.panel.labels[Label17]);
    progress.Print(ctx.panel.labels[LabelValue]);
    if (interruptCount.load() > 0 && !interrupted) {
      interrupted = true;
      RequestStop(ctx);
      // As Stop in the window ends a script's series, Ctrl-C ends the script with its solve.
      if (ctx.state.scriptNesting > 0 || ctx.state.scriptRunning)
        ctx.state.terminateRequested = true;
    }
    auto now = std::chrono::steady_clock::now();
    if (now - lastTick >= std::chrono::milliseconds(200)) {
      lastTick = now;
      Tick(ctx);
    }
  };

  // The program folder is the folder of the program file: --folder stands in for it, so that
  // "MoreColors.txt", the start-up script, the tables and the log are all taken from there.
  if (!options.folder.empty()) platform.programFileOverride = options.folder + "zolva-batch";
  StartMainWindow(ctx);
  CreatePanel(ctx);
  if (options.threads > 0) {
    ctx.panel.threadMax = std::max(ctx.panel.threadMax, options.threads);
    ctx.panel.threadCount = options.threads;
  }
  if (options.noStartup) ctx.state.startupScriptChecked = true;
  ApplyExportOptions(ctx, options.exports);
  // The RLGC table's solves, and then, below the last progress line, the files written.
  auto exportRlgc = [&]() {
    std::ostringstream written;
    const bool ok = RunRlgcExport(ctx, options.exports, written, err);
    flushMessages();
    progress.EndLine();
    progressStream << written.str();
    return ok;
  };

  // The first ticks build the default cross-section (or run the start-up script).
  for (int i = 0; i < 4; ++i) Tick(ctx);
  flushMessages();
  // The start-up script ended the program (TER).
  if (ctx.state.terminateRequested) return 0;

  if (!options.script.empty()) {
    // A Usermap named with --load is opened first, so that the script works on it. A Ctrl-C
    // before the script began leaves it unrun.
    if (interrupted) {
      failed = true;
    } else if (!options.loadPath.empty() &&
               (!LoadUsermap(ctx, options.loadPath) || ctx.state.operationFailed)) {
      failed = true;
    } else {
      failed = !RunCommandLineScript(ctx, options.script, err);
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
      return failed ? 1 : 0;
    }
    if (!options.json) out << ResultsPageText(ctx);
  } else if (!options.loadPath.empty()) {
    if (!LoadUsermap(ctx, options.loadPath) || ctx.state.operationFailed) failed = true;
    if (!failed && WantsRlgc(options.exports)) failed = !exportRlgc();
    flushMessages();
    progress.EndLine();
    if (!failed && !options.json) PrintLoadAnalysis(ctx, out);
  } else if (WantsRlgc(options.exports)) {
    failed = !exportRlgc();
    flushMessages();
    progress.EndLine();
    if (interrupted) failed = true;
  } else {
    progressStream << "map: " << ctx.map.Uwid << " x " << ctx.map.Uhei << " pixels, pixel width "
                   << JsonNumber(ctx.state.pixelWidth) << " m, " << ctx.map.condCount
                   << " conductor pixels\n";
    // The end of a failed solve beeps instead of playing its tone, and clears operationFailed;
    // a refused solve never starts. A stage ended by Ctrl-C is not a failure.
    const int beepsBefore = platform.beeps;
    SolveFully(ctx);
    flushMessages();
    progress.EndLine();
    if (ctx.state.operationFailed || platform.beeps > beepsBefore) failed = true;
    if (!ctx.state.solveSucceeded && !interrupted) failed = true;
    if (!options.json) out << ResultsPageText(ctx);
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
  if (options.json) PrintJson(ctx, out);
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
