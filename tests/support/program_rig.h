// A program without windows in a program folder of its own, for the tests of the application
// floor. The constructor only prepares the platform and the folder; Start() opens the main
// window and the panel, once the test has put its hooks in place.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "platform/headless_platform.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "support/read_file.h"

namespace zolva::testing {

struct ProgramRig {
  HeadlessPlatform p;
  std::unique_ptr<Context> owned;
  Context& ctx;
  std::filesystem::path folder;

  // A fresh folder under the temporary directory, named folderName; message boxes stay silent
  // and the program sees as many processors as given (none given: the machine's).
  ProgramRig(const std::string& folderName, std::optional<int> processors)
      : owned(std::make_unique<Context>(p)), ctx(*owned) {
    p.echoMessages = false;
    p.processorCountOverride = processors;
    folder = std::filesystem::temp_directory_path() / folderName;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    p.programFileOverride = (folder / "zolva").string();
  }
  ~ProgramRig() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  ProgramRig(const ProgramRig&) = delete;
  ProgramRig& operator=(const ProgramRig&) = delete;

  // Main window and panel created and the program ready; with scriptChecked the start-up script
  // counts as already looked for, so the first tick does not run one.
  void Start(bool scriptChecked = true) {
    StartMainWindow(ctx);
    CreatePanel(ctx);
    ctx.state.ready = true;
    if (scriptChecked) ctx.state.startupScriptChecked = true;
  }

  std::filesystem::path Write(const std::string& name, const std::string& text) const {
    std::ofstream(folder / name, std::ios::binary) << text;
    return folder / name;
  }
  std::string Read(const std::string& name) const { return ReadWholeFile(folder / name); }
};

// A 20 x 12 Usermap in the built-in copper colours: a ground ring round a 4 x 2 block at
// +1 volt, vacuum between.
inline RgbImage RingAroundBlock() {
  RgbImage image;
  image.width = 20;
  image.height = 12;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const bool ring = x == 0 || y == 0 || x == image.width - 1 || y == image.height - 1;
      const bool core = x >= 8 && x < 12 && y >= 5 && y < 7;
      image.pixels.push_back(ring ? 0x00FF00u : core ? 0x0000FFu : 0xFFFFFFu);
    }
  }
  return image;
}

}  // namespace zolva::testing
