#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/materials.h"
#include "core/utility.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"

namespace zolva {
namespace {

class ConvergenceTest : public ::testing::Test {
 protected:
  ConvergenceTest() : ctx(platform) { platform.echoMessages = false; }

  HeadlessPlatform platform;
  Context ctx;
};

TEST_F(ConvergenceTest, StopsAutomaticallyOnceSeventyEstimatesHaveSettled) {
  ShowConvergence(ctx, 0.0);
  EXPECT_TRUE(ctx.panel.capacitanceMode);
  EXPECT_TRUE(ctx.panel.convergenceGraph.empty());
  // 69 equal estimates are not enough: the history must be full.
  for (int step = 1; step < 70; ++step) {
    ShowConvergence(ctx, 1e-10);
    ASSERT_FALSE(ctx.state.abortRequested) << "step " << step;
  }
  EXPECT_EQ(ctx.panel.labels[LabelValue], Str(100.0, 8, 4) + " pF");
  ShowConvergence(ctx, 1e-10);
  EXPECT_TRUE(ctx.state.abortRequested);
  EXPECT_EQ(platform.pendingEventCalls, 71);

  // A reset empties the history, so the next 69 estimates cannot stop the relaxation.
  ctx.state.abortRequested = false;
  ShowConvergence(ctx, 0.0);
  EXPECT_EQ(ctx.panel.labels[LabelValue], "");
  for (int step = 1; step < 70; ++step) ShowConvergence(ctx, 1e-10);
  EXPECT_FALSE(ctx.state.abortRequested);

  // Estimates still swinging by 1 % keep it running.
  ShowConvergence(ctx, 0.0);
  for (int step = 0; step < 100; ++step) ShowConvergence(ctx, step % 2 ? 1.01e-10 : 0.99e-10);
  EXPECT_FALSE(ctx.state.abortRequested);

  // "Unending run" switches the automatic stop off.
  ctx.panel.checks[CheckBoxUnending] = true;
  ShowConvergence(ctx, 0.0);
  for (int step = 0; step < 100; ++step) ShowConvergence(ctx, 1e-10);
  EXPECT_FALSE(ctx.state.abortRequested);
}

TEST_F(ConvergenceTest, VoltageEstimatesAreLabelledAndNeverStopTheRun) {
  // Before any reset (and during the prediction) the monitor shows the boundary voltage.
  for (int step = 0; step < 100; ++step) ShowConvergence(ctx, 0.5);
  EXPECT_EQ(ctx.panel.labels[LabelValue], Str(0.5, 8, 4) + " Vo");
  EXPECT_FALSE(ctx.state.abortRequested);

  // Nothing but event handling for values that are no estimate.
  const auto history = ctx.panel.convergence;
  const long events = platform.pendingEventCalls;
  ShowConvergence(ctx, -3.0);
  ShowConvergence(ctx, std::numeric_limits<double>::quiet_NaN());
  ShowConvergence(ctx, std::numeric_limits<double>::infinity());
  EXPECT_EQ(ctx.panel.convergence, history);
  EXPECT_EQ(platform.pendingEventCalls, events + 3);
}

TEST_F(ConvergenceTest, FloatVoltagesAreListedFromTheLastPaletteColour) {
  FindPaletteIndex(ctx.materials, PackColor(255, 0, 0));
  FindPaletteIndex(ctx.materials, PackColor(0, 255, 255));  // copper, floating
  FindPaletteIndex(ctx.materials, PackColor(0, 0, 0));
  FindPaletteIndex(ctx.materials, PackColor(0, 255, 255) + 1);
  ctx.materials.palette.entries[1].kind = KindFloat;
  ctx.materials.palette.entries[3].kind = KindFloat;
  ctx.results.floatVolts = {1.0, 0.25, 0.0, -0.5};
  ShowConvergence(ctx, 0.0);
  ShowConvergence(ctx, 1e-11);
  EXPECT_EQ(ctx.panel.labels[Label40],
            "Float: " + Str(-0.5, 5, 3) + " " + Str(0.25, 5, 3) + "  volts");

  // Without floating colours the label keeps what it shows.
  ctx.materials.palette.entries[1].kind = KindInsul;
  ctx.materials.palette.entries[3].kind = KindInsul;
  ctx.panel.labels[Label40] = "kept";
  ShowConvergence(ctx, 1e-11);
  EXPECT_EQ(ctx.panel.labels[Label40], "kept");
}

TEST_F(ConvergenceTest, GraphShowsEachEstimateRelativeToTheNewest) {
  ShowConvergence(ctx, 0.0);
  ShowConvergence(ctx, 100e-12);
  EXPECT_TRUE(ctx.panel.convergenceGraph.empty());  // one estimate makes no line
  ShowConvergence(ctx, 101e-12);
  const auto& graph = ctx.panel.convergenceGraph;
  ASSERT_EQ(graph.size(), 2u);
  // Entry 1 is 1 % below the newest: off the red (+-0.02 %) scale, 24.75 units down on the
  // black (+-2 %) one, rounded to 75.
  const std::uint32_t red = PackColor(255, 0, 0);
  EXPECT_EQ(graph[0].color, red);
  EXPECT_EQ(graph[0].x1, 344);
  EXPECT_EQ(graph[0].y1, 100);
  EXPECT_EQ(graph[0].x2, 349);
  EXPECT_EQ(graph[0].y2, 50);
  EXPECT_EQ(graph[1].color, 0u);
  EXPECT_EQ(graph[1].y1, 75);
  EXPECT_EQ(graph[1].y2, 50);

  ShowConvergence(ctx, 101e-12);
  ASSERT_EQ(graph.size(), 4u);
  EXPECT_EQ(graph[0].y1, 50);   // the two newest agree
  EXPECT_EQ(graph[1].x1, 339);  // the oldest estimate moves left
  EXPECT_EQ(graph[1].y1, 100);
  EXPECT_EQ(graph[3].y1, 75);
  EXPECT_EQ(graph[3].x2, 344);

  ShowConvergence(ctx, 0.0);
  EXPECT_TRUE(graph.empty());
}

}  // namespace
}  // namespace zolva
