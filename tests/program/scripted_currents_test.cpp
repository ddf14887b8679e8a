// The L and Rs method a script's solves take.
#include <gtest/gtest.h>

#include <string>

#include "lsolver/lsolver_fixture.h"
#include "program/jobs.h"
#include "program/script.h"
#include "support/program_rig.h"

namespace zolva {
namespace {

using testing::Relative;
using Method = LSolverOptions::Method;

TEST(ScriptedCurrents, ScriptsTakeTheFasterMethodUnlessBox6AsksForTheElimination) {
  testing::ProgramRig rig("zolva-iterative-script", 2);
  rig.Start();
  const std::string coax = "COA\nTOT 2500\nFRE 1\n";
  ScriptResult r = RunScriptFile(rig.ctx, rig.Write("a.txt", coax + "LRS\n").string());
  ASSERT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_TRUE(rig.ctx.lsolver.lastIterative);
  EXPECT_GT(rig.ctx.lsolver.lastIterations, 0);
  const double L = rig.ctx.results.L;
  const double Rs = rig.ctx.results.Rs;
  r = RunScriptFile(rig.ctx, rig.Write("b.txt", coax + "BOX 6 T\nLRS\n").string());
  ASSERT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_FALSE(rig.ctx.lsolver.lastIterative);
  EXPECT_LT(Relative(rig.ctx.results.L, L), 1e-8);
  EXPECT_LT(Relative(rig.ctx.results.Rs, Rs), 1e-8);
  r = RunScriptFile(rig.ctx, rig.Write("c.txt", "BOX 6 F\n").string());
  EXPECT_EQ(LSolverJobOf(rig.ctx).options.method, Method::Automatic);
}

}  // namespace
}  // namespace zolva
