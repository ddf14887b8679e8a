// Every solve path solves at the frequency and pixel width it reports, whenever the control
// loop's ticks happen to fall. A frequency typed (in the panel or by a script) reaches omega and
// the skin-depth layer only through a rebuild of the map; a solve that skipped the rebuild would
// report the figures of the previous frequency under the new one.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/image_codec.h"
#include "program/control_panel.h"
#include "program/map_commands.h"
#include "program/rlgc_sweep.h"
#include "program/script.h"
#include "program/solve_control.h"
#include "program/studies_run.h"
#include "support/program_rig.h"

namespace zolva {
namespace {

constexpr const char* kMapName = "Usermap strip (0.05mm).png";

// A microstrip: a red strip one pixel thick on six rows of FR4 over a green ground plane, white
// vacuum above. The strip's one-pixel thickness makes Rs depend strongly on the frequency.
RgbImage Microstrip() {
  RgbImage image;
  image.width = 48;
  image.height = 20;
  image.pixels.assign(48 * 20, 0xFFFFFFu);
  auto at = [&](int x, int y) -> std::uint32_t& { return image.pixels.at(y * 48 + x); };
  for (int x = 4; x < 44; ++x) {
    for (int y = 15; y < 17; ++y) at(x, y) = 0x00FF00u;
    for (int y = 9; y < 15; ++y) at(x, y) = PackColor(223, 247, 136);
  }
  for (int x = 18; x < 30; ++x) at(x, 8) = 0x0000FFu;
  return image;
}

// ticking: the control loop's tick runs at every event handling, as on a loaded machine where
// 200 ms pass during each solve; otherwise it never runs, as on an idle one.
struct FrequencyRig : testing::ProgramRig {
  explicit FrequencyRig(const std::string& tag, bool ticking) : ProgramRig("zolva-freq-" + tag, 1) {
    Start();
    if (ticking) p.onPendingEvents = [this] { Tick(ctx); };
    EncodePngFile((folder / kMapName).string(), Microstrip());
  }
  ScriptResult Run(const std::string& text) {
    return RunScriptFile(ctx, Write("s.txt", text).string());
  }
  std::string Open() const { return "OPE %" + std::string(kMapName) + "\n"; }
};

struct Figures {
  double L = 0, Rs = 0;
};

// L and Rs of the map opened afresh and solved once at f MHz.
Figures Reference(double f) {
  FrequencyRig rig("ref", false);
  EXPECT_EQ(rig.Run(rig.Open() + "FRE " + std::to_string(f) + "\nLRS\n").outcome,
            ScriptOutcome::Completed);
  return {rig.ctx.results.L, rig.ctx.results.Rs};
}

void ExpectFigures(const Context& ctx, const Figures& want, const std::string& path) {
  EXPECT_NEAR(ctx.results.Rs, want.Rs, 1e-9 * want.Rs) << path;
  EXPECT_NEAR(ctx.results.L, want.L, 1e-9 * want.L) << path;
}

TEST(SolveFrequency, EverySolvePathSolvesAtTheFrequencyItReports) {
  const Figures at100 = Reference(100);
  const Figures at1000 = Reference(1000);
  ASSERT_GT(at1000.Rs, 2 * at100.Rs);  // the figures tell the frequencies apart

  for (bool ticking : {false, true}) {
    const std::string timing = ticking ? " (ticking)" : " (no tick)";
    {
      // The first solve after opening a map whose name carries its width.
      FrequencyRig rig("sol-first", ticking);
      ASSERT_EQ(rig.Run(rig.Open() + "FRE 100\nSOL\n").outcome, ScriptOutcome::Completed);
      ExpectFigures(rig.ctx, at100, "SOL after OPE" + timing);
    }
    {
      // A solve at one frequency, then SOL and CGP at another.
      FrequencyRig rig("sol-second", ticking);
      ASSERT_EQ(rig.Run(rig.Open() + "FRE 100\nLRS\nFRE 1000\nSOL\n").outcome,
                ScriptOutcome::Completed);
      ExpectFigures(rig.ctx, at1000, "SOL after LRS" + timing);
    }
    {
      // F5 and F4 after a frequency typed into the panel, its field not yet left.
      FrequencyRig rig("keys", ticking);
      ASSERT_EQ(rig.Run(rig.Open() + "FRE 100\nLRS\n").outcome, ScriptOutcome::Completed);
      SetField(rig.ctx, EditBoxFrequency, "1000");
      SolveLAndRs(rig.ctx);
      ExpectFigures(rig.ctx, at1000, "F5" + timing);
      SetField(rig.ctx, EditBoxFrequency, "100");
      SolveFully(rig.ctx);
      ExpectFigures(rig.ctx, at100, "F4" + timing);
    }
    {
      // A study step and the RLGC table's sweep.
      FrequencyRig rig("study", ticking);
      ASSERT_EQ(rig.Run(rig.Open() + "FRE 100\nLRS\n").outcome, ScriptOutcome::Completed);
      SetField(rig.ctx, EditBoxFrequency, "1000");
      ASSERT_EQ(SolveStudyStep(rig.ctx, GeomUsermap), StudyStep::Solved);
      FinishSolve(rig.ctx);
      ExpectFigures(rig.ctx, at1000, "study" + timing);
      std::vector<RlgcPoint> points;
      std::string failure;
      ASSERT_TRUE(SolveRlgcSweep(rig.ctx, {100, 1000}, points, failure)) << failure;
      ASSERT_EQ(points.size(), 2u);
      EXPECT_NEAR(points[0].R, at100.Rs, 1e-9 * at100.Rs) << "RLGC" << timing;
      EXPECT_NEAR(points[1].R, at1000.Rs, 1e-9 * at1000.Rs) << "RLGC" << timing;
    }
  }
}

// The estimate compares finer solves with the figures on record: those must be of the frequency
// the finer solves use, or the stated error is the frequency's effect, not the pixel's. After a
// change of frequency it states what it states on a map solved at that frequency from the start.
TEST(SolveFrequency, EstimateAfterAFrequencyChangeIsTheEstimateAtThatFrequency) {
  FrequencyRig changed("estimate-changed", false);
  ASSERT_EQ(changed.Run(changed.Open() + "FRE 100\nLRS\nFRE 1000\nERR T 2\nSOL\n").outcome,
            ScriptOutcome::Completed);
  FrequencyRig fresh("estimate-fresh", false);
  ASSERT_EQ(fresh.Run(fresh.Open() + "FRE 1000\nERR T 2\nSOL\n").outcome, ScriptOutcome::Completed);
  const FigureEstimate& a = changed.ctx.results.estimate[FigureRs];
  const FigureEstimate& b = fresh.ctx.results.estimate[FigureRs];
  ASSERT_TRUE(a.valid && b.valid);
  EXPECT_NEAR(a.relativeError, b.relativeError, 1e-9);
  EXPECT_NEAR(a.extrapolated, b.extrapolated, 1e-9 * std::abs(b.extrapolated));
}

// With "Restrict to skin depth" the layer that carries the current thins as the frequency rises.
// A sweep draws every frequency at one pixel width, so L(f) of a coax falls steadily from the
// internal inductance of the thick layer towards the external one (ln(b/a) mu0 / 2 pi), instead of
// following the pixel width from step to step. The table's sweep and SWE FRE both do so.
TEST(SolveFrequency, CoaxSweepIsOnOnePixelWidthAndLFallsSteadily) {
  FrequencyRig rig("sweep", false);
  std::vector<double> L, widths;
  std::vector<int> pixels;
  rig.ctx.reports.onSolveReported = [&](SolvedFigures which) {
    if (which != SolvedFigures::LandRs) return;
    L.push_back(rig.ctx.results.L);
    widths.push_back(rig.ctx.state.pixelWidth);
    pixels.push_back(rig.ctx.map.condCount);
  };
  ASSERT_EQ(rig.Run("COA\nFRE 1\nSWE FRE 7 2\n").outcome, ScriptOutcome::Completed);
  std::vector<RlgcPoint> points;
  std::string failure;
  ASSERT_TRUE(SolveRlgcSweep(rig.ctx, {1, 10, 100, 1000}, points, failure)) << failure;
  ASSERT_EQ(L.size(), 11u);
  for (std::size_t i = 0; i < L.size(); ++i) {
    EXPECT_EQ(widths[i], widths[0]) << "step " << i;
    EXPECT_LE(pixels[i], 2.1 * rig.ctx.panel.totalConductorPixels) << "step " << i;
    if (i != 0 && i != 7) {
      EXPECT_LT(L[i], L[i - 1]) << "step " << i;
    }
  }
  // Both sweeps ran on the same width, so their common frequencies agree exactly.
  EXPECT_EQ(L[7], L[0]);
  EXPECT_EQ(L[10], L[6]);
}

}  // namespace
}  // namespace zolva
