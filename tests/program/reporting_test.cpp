#include "program/reporting.h"

#include <gtest/gtest.h>

#include "platform/headless_platform.h"
#include "program/context.h"

namespace zolva {
namespace {

TEST(Reporting, ProgramErrorCaptionsAndCancel) {
  HeadlessPlatform p;
  p.echoMessages = false;
  Context ctx(p);

  ReportProgramError(ctx, 7);
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(p.messages[0].caption, "zolva stop");
  EXPECT_EQ(p.messages[0].text,
            "Program error 7. (Zolva has detected a situation that should be impossible.)");
  EXPECT_EQ(p.messages[0].buttons, ButtonsOkCancel);
  EXPECT_FALSE(ctx.state.abortRequested);

  // The caption names the Usermap point, then the core point; the next report is plain again.
  ctx.grid.CtoUX = 5;
  ctx.grid.CtoUY = 7;
  p.queuedAnswers.push_back(AnswerCancel);
  ReportProgramErrorAt(ctx, 2, 10, 20);
  EXPECT_EQ(p.messages[1].caption, "Usermap 15,27  (10,20)");
  EXPECT_TRUE(ctx.state.abortRequested);
  ReportProgramError(ctx, 3);
  EXPECT_EQ(p.messages[2].caption, "zolva stop");
}

TEST(Reporting, AltSilencesProgramErrors) {
  HeadlessPlatform p;
  p.echoMessages = false;
  Context ctx(p);
  ctx.state.lastShiftState.alt = true;
  p.queuedAnswers.push_back(AnswerCancel);
  ReportProgramError(ctx, 1);
  EXPECT_TRUE(p.messages.empty());
  EXPECT_FALSE(ctx.state.abortRequested);
}

TEST(Reporting, StepsAreNumberedAndPauseOnlyForTheReader) {
  HeadlessPlatform p;
  p.echoMessages = false;
  Context ctx(p);
  std::vector<std::string> shown;
  ctx.state.ShowStatusHook = [&](const std::string& s) { shown.push_back(s); };
  ctx.state.stepNumber = 1;
  ShowStep(ctx, "Summing capacitance terms.  ");
  ShowStep(ctx, "Next");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "1. Summing capacitance terms.  ");
  EXPECT_EQ(shown[1], "2. Next");
  EXPECT_EQ(ctx.state.stepNumber, 3);
  EXPECT_EQ(p.sleeps, (std::vector<int>{300, 300}));

  ShowStatus(ctx, std::string(400, 'x'));
  EXPECT_EQ(ctx.state.statusText.size(), 255u);
}

TEST(Reporting, RequestDeniedBeepsAndExplains) {
  HeadlessPlatform p;
  p.echoMessages = false;
  Context ctx(p);
  RequestDenied(ctx);
  EXPECT_EQ(p.beeps, 1);
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(p.messages[0].text, "Request denied.  A solve is in progress.");
  EXPECT_EQ(p.messages[0].caption, "zolva");
}

TEST(Reporting, UnexpectedErrorEndsTheSolve) {
  HeadlessPlatform p;
  p.echoMessages = false;
  Context ctx(p);
  ctx.state.solveInProgress = true;
  ctx.panel.stopEnabled = true;
  ctx.display.copyToScreen = true;
  OnUnexpectedError(ctx);
  EXPECT_FALSE(ctx.state.solveInProgress);
  EXPECT_FALSE(ctx.state.abortRequested);
  EXPECT_FALSE(ctx.panel.stopEnabled);
  EXPECT_FALSE(ctx.display.copyToScreen);
  EXPECT_EQ(ctx.state.statusText, " ");
  EXPECT_TRUE(p.messages.empty()) << "the handler itself shows nothing";

  // The front end's handler ends the solve the same way and shows what the error says.
  ctx.state.solveInProgress = true;
  ShowUnexpectedError(ctx, "panel tab 9");
  EXPECT_FALSE(ctx.state.solveInProgress);
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(p.messages[0].text, "The command stopped on an unexpected error: panel tab 9");
  EXPECT_EQ(p.messages[0].caption, "zolva");
}

TEST(Platform, ProcessorCountAndMemory) {
  EXPECT_EQ(ProcessorCountFromEnvironment("6", 2), 6);
  EXPECT_EQ(ProcessorCountFromEnvironment("200", 2), 64);
  EXPECT_EQ(ProcessorCountFromEnvironment("six", 2), 2);
  EXPECT_EQ(ProcessorCountFromEnvironment("0", 3), 3);
  EXPECT_EQ(ProcessorCountFromEnvironment(nullptr, 0), 1);
  EXPECT_EQ(MemAvailableFromMeminfo("MemTotal: 100 kB\nMemAvailable:    2048 kB\n"), 2048 * 1024);
  EXPECT_EQ(MemAvailableFromMeminfo("MemTotal: 100 kB\n"), -1);
  // 2026-12-09 10:30:05 as days since 1899-12-30.
  double t = DateTimeFromUnixSeconds(1796812205.0, 0.0);
  EXPECT_EQ(FormatShortDate(t), "2026-12-09");
  EXPECT_EQ(FormatLongTime(t), "10:30:05");
}

}  // namespace
}  // namespace zolva
