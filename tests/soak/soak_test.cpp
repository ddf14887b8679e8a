// The soak: 500 scripted solves of small cross-sections in one process, alternating the round
// and square twinleads, a coax, a Usermap, and a capacitance solve that is stopped and resumed.
// The resident memory must stay below a fixed bound and stop growing once the program is warm;
// in the sanitizer build LeakSanitizer checks at exit that nothing was lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/headless_platform.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

constexpr int kSolves = 500;
// Far above what the solves need (tens of megabytes, twice that under the sanitizers), far
// below what a record growing with every solve would reach in 500 of them.
constexpr double kResidentBoundMb = 768;
// Growth allowed after the first hundred solves, when every table and cache has its size.
constexpr double kGrowthBoundMb = 48;

double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// A closed line as a Usermap: a copper box at 0 volt around a strip at +1 volt on FR4-like
// unknown colour, 40 x 30 pixels.
void WriteBoxUsermap(const std::string& path) {
  RgbImage img{40, 30, std::vector<std::uint32_t>(40 * 30, 0xFFFFFFu)};
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      std::uint32_t& p = img.pixels[static_cast<std::size_t>(x + 40 * y)];
      if (x < 2 || y < 2 || x >= 38 || y >= 28)
        p = 0x00FF00u;
      else if (y >= 13 && y < 17 && x >= 12 && x < 28)
        p = 0x0000FFu;
    }
  EncodeBmpFile(path, img);
}

TEST(Soak, FiveHundredScriptedSolvesStayWithinAFixedMemoryBound) {
  const fs::path folder = fs::temp_directory_path() / ("zolva-soak-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  WriteBoxUsermap((folder / "box (0.1mm).bmp").string());

  HeadlessPlatform platform;
  platform.echoMessages = false;
  platform.programFileOverride = (folder / "zolva").string();
  Context ctx(platform);
  // The stop of the stopped-and-resumed solves: Stop after this many relaxation events. A
  // resumed relaxation runs until it is stopped and shows no new status, so there every event
  // counts.
  int stopAfter = 0, relaxEvents = 0;
  bool resuming = false;
  platform.onPendingEvents = [&] {
    const bool relaxing = resuming || ctx.state.statusText.find("Relaxing") != std::string::npos;
    if (stopAfter > 0 && relaxing && ++relaxEvents >= stopAfter) RequestStop(ctx);
  };
  StartMainWindow(ctx);
  CreatePanel(ctx);
  ctx.state.ready = true;
  ctx.state.startupScriptChecked = true;

  const std::string scripts[] = {
      "TWI\nTOT 300\nLRS\n",                  // round twinlead, L and Rs
      "COA\nTOT 300\nCGP\n",                  // coax, C and Gp
      "SQU\nTOT 300\nLRS\n",                  // square twinlead, L and Rs
      "OPE %box (0.1mm).bmp\nTOT 300\nCGP\n"  // the Usermap, C and Gp
  };
  const std::string path = (folder / "soak.txt").string();
  double warm = 0, peak = 0, last = 0;
  int completed = 0, resumed = 0;
  for (int i = 0; i < kSolves; ++i) {
    const int kind = i % 5;
    if (kind < 4) {
      std::ofstream(path, std::ios::binary | std::ios::trunc) << scripts[kind];
      const ScriptResult r = RunScriptFile(ctx, path);
      EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << "solve " << i << ": " << r.message;
      if (r.outcome == ScriptOutcome::Completed) ++completed;
    } else {
      // A coax capacitance solve stopped early, then resumed and stopped again.
      std::ofstream(path, std::ios::binary | std::ios::trunc) << "COA\nTOT 300\n";
      RunScriptFile(ctx, path);
      relaxEvents = 0;
      stopAfter = 2;
      SolveCAndGp(ctx);
      EXPECT_TRUE(ctx.panel.resumeEnabled) << "solve " << i;
      relaxEvents = 0;
      stopAfter = 4;
      resuming = true;
      ResumeRelaxation(ctx);
      resuming = false;
      stopAfter = 0;
      ctx.panel.checks[CheckBoxUnending] = false;
      EXPECT_FALSE(ctx.state.solveInProgress);
      ++resumed;
    }
    last = ResidentMb();
    peak = std::max(peak, last);
    if (i == 99) warm = last;
  }
  std::printf(
      "soak: %d scripted solves completed, %d stopped and resumed; resident %.1f MB "
      "after 100, %.1f MB at the end, %.1f MB at most\n",
      completed, resumed, warm, last, peak);
  EXPECT_EQ(completed + resumed, kSolves);
  EXPECT_LT(peak, kResidentBoundMb);
  EXPECT_LT(last - warm, kGrowthBoundMb);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace zolva
