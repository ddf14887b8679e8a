// The script reader and interpreter on hostile scripts. The solves are stubbed (they return at
// once as if they had solved, ProgramState::solvesStubbed) and the maps stay small, so a run
// exercises every command, the sweeps, the key commands and the tables without solving.
//
// Every input gets a fresh program in a scratch folder. FOL lines, and lines that climb out of a
// folder with "..", are dropped before the run: a script may name any folder, and the files the
// commands write or delete must stay in the scratch folder.
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

std::string WithoutFolderCommands(const std::string& text) {
  std::string kept;
  std::istringstream in(text);
  zolva::ForEachLine(in, 100000, [&](const std::string& line) {
    const std::string clean = zolva::CleanScriptLine(line);
    const std::string word = clean.substr(0, clean.find(' '));
    const bool escapes = zolva::CommandCode(word) == "FOL" || line.find("..") != std::string::npos;
    kept += escapes ? std::string("|") : line;
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
