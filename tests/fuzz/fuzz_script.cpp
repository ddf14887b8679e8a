// The script reader and interpreter on hostile scripts. The solves are stubbed (they return at
// once as if they had solved, ProgramState::solvesStubbed) and the maps stay small, so a run
// exercises every command, the sweeps, the key commands and the tables without solving.
//
// Every input gets a fresh program in a scratch folder. FOL lines, and lines that climb out of a
// folder with "..", are dropped before the run: a script may name any folder, and the files the
// commands write or delete must stay in the scratch folder. So are SWE lines beyond a budget of
// sweep steps, below.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "core/text_reader.h"
#include "fuzz/fuzz_support.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/script_words.h"

namespace {

// Sweep steps a whole script may ask for. Each step writes its table row, and a table is
// rewritten whole with every row (so that a failed write never leaves half a file): a sweep's
// cost grows with the square of its length, and a count of 700000, read as the user typed it,
// would run for hours. A few dozen steps reach every path of the sweep.
constexpr int kSweepStepBudget = 64;

std::string WithoutFolderCommands(const std::string& text) {
  std::string kept;
  int sweepSteps = kSweepStepBudget;
  std::istringstream in(text);
  zolva::ForEachLine(in, 100000, [&](const std::string& line) {
    const std::string clean = zolva::CleanScriptLine(line);
    zolva::WordReader words(clean);
    const std::string code = zolva::CommandCode(words.Word());
    bool dropped = code == "FOL" || line.find("..") != std::string::npos;
    if (code == "SWE") {
      words.Word();  // the field swept
      const int steps = words.Integer();
      dropped = dropped || steps > sweepSteps;
      if (!dropped && steps > 0) sweepSteps -= steps;
    }
    kept += dropped ? std::string("|") : line;
    kept += "\n";
    return true;
  });
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zolva;
  const std::string folder = fuzz::ScratchFolder();
  const std::string script =
      WithoutFolderCommands(std::string(reinterpret_cast<const char*>(data), size));
  const std::string path = folder + "fuzz.txt";
  fuzz::WriteFile(path, reinterpret_cast<const std::uint8_t*>(script.data()), script.size());

  HeadlessPlatform platform;
  platform.echoMessages = false;
  platform.programFileOverride = folder + "zolva";
  Context ctx(platform);
  ctx.state.solvesStubbed = true;
  StartMainWindow(ctx);
  CreatePanel(ctx);
  ctx.state.ready = true;
  ctx.state.startupScriptChecked = true;
  RunScriptFile(ctx, path);
  return 0;
}
