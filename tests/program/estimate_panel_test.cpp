// The error estimate from the panel model: the check box, a solve, and the records the finer
// solve must leave as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/results_report.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

struct PanelRig {
  HeadlessPlatform p;
  std::unique_ptr<Context> owned;
  Context& ctx;
  fs::path folder;
  int reported = 0;

  explicit PanelRig(const std::string& tag) : owned(std::make_unique<Context>(p)), ctx(*owned) {
    p.echoMessages = false;
    p.processorCountOverride = 2;
    folder = fs::temp_directory_path() / ("zolva-estimate-panel-" + tag);
    fs::remove_all(folder);
    fs::create_directories(folder);
    p.programFileOverride = (folder / "zolva").string();
    StartMainWindow(ctx);
    CreatePanel(ctx);
    ctx.state.startupScriptChecked = true;
    ctx.reports.onSolveReported = [this](SolvedFigures) { ++reported; };
    ctx.state.geometryKind = GeomCoaxial;
    SetField(ctx, EditBoxTotalConductorPixels, "500");
    ctx.state.setupChanged = true;
  }
  ~PanelRig() { fs::remove_all(folder); }
};

TEST(EstimatePanel, CheckBoxAddsAnEstimateAndKeepsTheSolveAsItWas) {
  PanelRig plain("plain");
  SolveCAndGp(plain.ctx);
  ASSERT_TRUE(plain.ctx.results.C > 0.0);
  EXPECT_EQ(plain.reported, 1);
  EXPECT_EQ(CurrentEstimate(plain.ctx, FigureC), nullptr);

  PanelRig rig("estimate");
  EXPECT_TRUE(ControlVisible(rig.ctx.panel, CheckBoxEstimateError));
  SetCheckBox(rig.ctx, CheckBoxEstimateError, true);
  SolveCAndGp(rig.ctx);
  Context& ctx = rig.ctx;
  EXPECT_EQ(rig.reported, 1);  // the finer solve is not a solve of its own
  // The figures, the map and the panel are those of the solve itself. Two worker threads relax
  // in an order the scheduler chooses, so two solves of one map agree to the stopping
  // tolerance, not bit for bit; the finer solves' C lies about 1 % away.
  EXPECT_NEAR(ctx.results.C, plain.ctx.results.C, 1e-6 * plain.ctx.results.C);
  EXPECT_EQ(ctx.map.condCount, plain.ctx.map.condCount);
  EXPECT_EQ(ctx.map.Ucolor, plain.ctx.map.Ucolor);
  EXPECT_EQ(ctx.state.pixelWidth, plain.ctx.state.pixelWidth);
  EXPECT_EQ(ctx.panel.edits[EditBoxTotalConductorPixels].text, "500");
  ASSERT_EQ(ctx.grid.Cvolts.size(), plain.ctx.grid.Cvolts.size());
  EXPECT_EQ(ctx.grid.Cwid, plain.ctx.grid.Cwid);
  EXPECT_TRUE(ctx.panel.resumeEnabled);
  EXPECT_FALSE(ctx.state.solveInProgress);
  // The estimate: the finer staircase gives a smaller C, so the raw figure's error is positive.
  const FigureEstimate* e = CurrentEstimate(ctx, FigureC);
  ASSERT_NE(e, nullptr);
  EXPECT_LT(e->extrapolated, ctx.results.C);
  EXPECT_GT(e->relativeError, 0.0);
  EXPECT_EQ(ctx.results.estimateC.solves, 3);  // at 1, 1 / sqrt 2 and 1 / 2 of the pixel width
  EXPECT_NEAR(ctx.results.estimateC.finestPixelWidth, ctx.state.pixelWidth / 2,
              ctx.state.pixelWidth * 0.05);
  bool onPage = false;
  for (const ResultsLine& line : ctx.results.page)
    onPage = onPage || line.text.rfind("C extrap. = ", 0) == 0;
  EXPECT_TRUE(onPage);
  EXPECT_NE(ctx.results.summary.find("(extrapolated "), std::string::npos) << ctx.results.summary;
  // How the estimate was made, and the time its solves took.
  EXPECT_NE(ctx.results.summaryExtra.find("(3 solves, order "), std::string::npos)
      << ctx.results.summaryExtra;
  // A solve of a minute or more logs the estimate and the peak field with its summary.
  ctx.results.runSecondsC = 60;
  SummarizeC(ctx);
  std::ifstream log(rig.folder / "zolva log.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("C = 81.56 pF  (extrapolated "), std::string::npos) << text;
  EXPECT_NE(text.find("Emax = "), std::string::npos) << text;
  // A new solve of another value forgets the estimate that belonged to the old one.
  ctx.results.C *= 1.01;
  EXPECT_EQ(CurrentEstimate(ctx, FigureC), nullptr);
}

}  // namespace
}  // namespace zolva
