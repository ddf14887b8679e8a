// The floors below the application run on plain records and a reporting interface: a generator,
// the conductor index and both solvers, driven here without the program context or the panel,
// give the same figures as through the context, and report through the interface alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "csolver/capacitance.h"
#include "csolver/capacitance_job.h"
#include "geometry/geometry.h"
#include "lsolver/lsolver_job.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/jobs.h"
#include "program/solve_control.h"
#include "support/recording_reporter.h"

namespace zolva {
namespace {

constexpr double kMm = 0.001;

// An air coax of about 400 conductor pixels at 10 MHz.
GeometryInputs CoaxInputs() {
  GeometryInputs in;
  in.centerConductorDia = 1 * kMm;
  in.shieldInnerDia = 3.5 * kMm;
  in.shieldOuterDia = 4 * kMm;
  in.totalConductorPixels = 400;
  in.airDielectric = true;
  return in;
}

// Every record a solve touches, held by the test itself.
struct PlainRecords {
  HeadlessPlatform platform;
  testing::RecordingReporter report;
  SolveState state;
  PixelMap map;
  MaterialTables materials;
  Results results;
  bool fieldReady = false;
  WorkerPool pool;
  ConductorIndex cindex;
  FieldRegions regions;
  SolverGrid grid;
  PredictionState prediction;
  LSolverState lsolver;
  FailureSlot failure;

  PlainRecords() {
    platform.echoMessages = false;
    InitMaterialTables(materials, report, "/nonexistent-zolva-folder/");
    state.geometryKind = GeomCoaxial;
    state.frequencyMHz = 10;
    state.omega = 10 * kOmegaPerMHz;
  }
  GeometryJob Geometry() {
    return GeometryJob{state, map, materials, results, fieldReady, report, failure, CoaxInputs()};
  }
  CapacitanceJob Capacitance() {
    CapacitanceOptions options;
    options.classicRelaxation = true;  // the monitor's rounds are what the two runs share
    return CapacitanceJob{state,   map,        materials, cindex,   regions, grid,    prediction,
                          results, fieldReady, pool,      platform, report,  failure, options};
  }
  LSolverJob LandRs() {
    LSolverOptions options;
    options.pixelWidthText = "set";
    return LSolverJob{state, map,      materials, cindex,  lsolver, results,
                      pool,  platform, report,    failure, options};
  }
};

TEST(Floors, SolversRunOnPlainRecordsAndReportThroughTheInterface) {
  // The stages through the program's context and its panel first: the panel's convergence
  // monitor decides when the relaxation has settled.
  HeadlessPlatform platform;
  platform.echoMessages = false;
  Context ctx(platform);
  InitMaterialTables(ctx.materials, ctx.reporter, "/nonexistent-zolva-folder/");
  ctx.state.geometryKind = GeomCoaxial;
  ctx.state.frequencyMHz = 10;
  ctx.state.omega = 10 * kOmegaPerMHz;
  ctx.panel.threadCount = 1;
  ctx.panel.checks[CheckBoxClassicRelaxation] = true;
  ctx.panel.edits[EditBoxPixelWidth].text = "set";
  GeometryJob g = GeometryJobOf(ctx);
  g.inputs = CoaxInputs();
  ASSERT_TRUE(GenerateCoax(g));
  ASSERT_TRUE(IndexConductors(ctx));
  ASSERT_TRUE(FindFieldRegions(CapacitanceJobOf(ctx)));
  for (std::int8_t& k : ctx.map.Ukind)
    if (k == KindInsulInField) k = KindInsul;
  SolveLandRs(LSolverJobOf(ctx));
  ASSERT_TRUE(IndexConductors(ctx));
  ASSERT_TRUE(FindFieldRegions(CapacitanceJobOf(ctx)));
  SolveCapacitance(CapacitanceJobOf(ctx));
  const int rounds = ctx.grid.plan.roundCount;
  ASSERT_GT(rounds, 10);
  EXPECT_FALSE(ctx.panel.labels[LabelValue].empty());  // the panel's monitor showed C
  EXPECT_TRUE(ctx.panel.resumeEnabled);

  // The same stages on records held by the test and a recorder that stops the relaxation after
  // as many rounds: the same figures, bit for bit. The jobs hand over exactly the records and
  // settings the solvers read, and nothing below the application reaches the panel.
  PlainRecords r;
  r.report.stopAfterSamples = static_cast<std::size_t>(rounds) + 1;  // the first sample is 0
  ASSERT_TRUE(GenerateCoax(r.Geometry()));
  EXPECT_GT(r.state.pixelWidth, 0.0);
  EXPECT_EQ(r.report.pixelWidth, r.state.pixelWidth);
  EXPECT_EQ(r.report.Label(Label31), std::to_string(r.map.condCount));

  ASSERT_TRUE(BuildConductorIndex(r.map, r.materials, r.cindex, r.state, r.report, r.failure));
  EXPECT_EQ(r.report.steps.front(), "Searching map");
  EXPECT_EQ(r.report.steps.back(),
            "Building map index for " + std::to_string(r.cindex.size()) + " conductor pixels");
  ASSERT_TRUE(FindFieldRegions(r.Capacitance()));
  // L and Rs first, with the field-region marks taken back, as a full solve does.
  for (std::int8_t& k : r.map.Ukind)
    if (k == KindInsulInField) k = KindInsul;
  SolveLandRs(r.LandRs());
  EXPECT_TRUE(r.state.solveSucceeded);
  ASSERT_TRUE(BuildConductorIndex(r.map, r.materials, r.cindex, r.state, r.report, r.failure));
  ASSERT_TRUE(FindFieldRegions(r.Capacitance()));
  SolveCapacitance(r.Capacitance());
  EXPECT_FALSE(r.state.operationFailed);
  EXPECT_EQ(r.grid.plan.roundCount, rounds);

  EXPECT_EQ(r.results.L, ctx.results.L);
  EXPECT_EQ(r.results.Rs, ctx.results.Rs);
  EXPECT_EQ(r.results.C, ctx.results.C);
  // An air coax: C = 2 pi eps0 / ln(b/a) = 44.4 pF/m, within the coarse map's staircase.
  EXPECT_NEAR(r.results.C * 1e12, 44.4, 0.5);
  EXPECT_GT(r.results.L, 0.0);
  EXPECT_GT(r.results.Rs, 0.0);

  const std::vector<SolvedFigures> solved{SolvedFigures::LandRs, SolvedFigures::CandGp};
  EXPECT_EQ(r.report.solved, solved);
  EXPECT_EQ(r.report.statuses.back(), "done");
  EXPECT_EQ(r.report.convergence.front(), 0.0);  // a new series
  EXPECT_EQ(r.report.convergence.back(), r.results.C);
  EXPECT_TRUE(r.report.messages.empty());
  EXPECT_TRUE(r.report.programErrors.empty());
}

TEST(Floors, RefusalsComeBackAsFailuresWithTheUsersText) {
  PlainRecords r;
  ASSERT_TRUE(GenerateCoax(r.Geometry()));
  // Without its shield the coax has one conductor only.
  std::replace(r.map.Ucolor.begin(), r.map.Ucolor.end(), PackColor(0, 255, 0), PackColor(0, 0, 0));
  EXPECT_FALSE(BuildConductorIndex(r.map, r.materials, r.cindex, r.state, r.report, r.failure));
  ASSERT_TRUE(r.failure.has_value());
  EXPECT_EQ(r.failure->message, "Usermap deficient: Insufficient conductors.");
  EXPECT_EQ(r.failure->caption, "Solve");
  EXPECT_TRUE(r.report.messages.empty());
  EXPECT_TRUE(r.state.abortRequested);
  EXPECT_TRUE(r.state.operationFailed);

  // An L and Rs solve without a pixel width comes back as a failure carrying the user's text and
  // caption; the solver itself shows nothing.
  PlainRecords s;
  ASSERT_TRUE(GenerateCoax(s.Geometry()));
  ASSERT_TRUE(BuildConductorIndex(s.map, s.materials, s.cindex, s.state, s.report, s.failure));
  LSolverJob job = s.LandRs();
  job.options.pixelWidthText.clear();
  SolveLandRs(job);
  ASSERT_TRUE(s.failure.has_value());
  EXPECT_EQ(s.failure->kind, FailureKind::Input);
  EXPECT_EQ(s.failure->message, "Pixel width not supplied");
  EXPECT_EQ(s.failure->caption, "Solving for L and Rs");
  EXPECT_TRUE(s.report.messages.empty());
  EXPECT_EQ(s.results.L, 0.0);
  EXPECT_TRUE(s.report.solved.empty());
}

}  // namespace
}  // namespace zolva
