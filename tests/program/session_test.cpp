// The headless session: the same figures as the desktop program's start-up and control loop, each
// setting in force at the next solve, a stop from another thread, refusals that keep what was
// there, and pictures from memory read as the same picture from a file.
#include "program/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/solve_control.h"
#include "support/program_rig.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each session, so that no "MoreColors.txt" or start-up script of the
// test program's folder takes part.
struct SessionFolder {
  explicit SessionFolder(const std::string& tag)
      : path(fs::temp_directory_path() / ("zolva-session-" + tag)) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~SessionFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  SessionOptions Options() const {
    SessionOptions o;
    o.folder = path.string();
    return o;
  }
  fs::path path;
};

std::vector<std::uint8_t> Bytes(const RgbImage& image) {
  std::vector<std::uint8_t> rgb;
  for (std::uint32_t c : image.pixels) {
    rgb.push_back(static_cast<std::uint8_t>(c & 0xFF));
    rgb.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    rgb.push_back(static_cast<std::uint8_t>((c >> 16) & 0xFF));
  }
  return rgb;
}

void ExpectSameFigures(const SessionFigures& a, double C, double Gp, double L, double Rs) {
  EXPECT_EQ(a.C, C);
  EXPECT_EQ(a.Gp, Gp);
  EXPECT_EQ(a.L, L);
  EXPECT_EQ(a.Rs, Rs);
}

TEST(Session, SolvesAsTheDesktopStartUpAndItsTicksDo) {
  // The desktop program: main window, panel, the ticks that build the map, then "Solve fully".
  testing::ProgramRig rig("zolva-session-desktop", 1);
  rig.Start();
  SetField(rig.ctx, EditBoxTotalConductorPixels, "300");
  LeaveField(rig.ctx, EditBoxTotalConductorPixels);
  for (int i = 0; i < 4; ++i) Tick(rig.ctx);
  ASSERT_EQ(SolveFully(rig.ctx), SolveOutcome::Completed);
  const Results& r = rig.ctx.results;

  SessionFolder folder("same");
  Session session(folder.Options());
  session.SetField(EditBoxTotalConductorPixels, "300");
  const SessionFigures f = session.Solve(SolveWhat::Full);
  ASSERT_TRUE(f.haveC && f.haveL);
  ExpectSameFigures(f, r.C, r.Gp, r.L, r.Rs);
  EXPECT_EQ(f.pixelWidth, rig.ctx.state.pixelWidth);
  EXPECT_DOUBLE_EQ(f.Zo, std::sqrt(r.L / r.C));

  // The solved fields lie on the map in metres: the potential spans the drive between the two
  // wires, and the current density is positive only in metal.
  const FieldGrid v = session.Potential();
  ASSERT_GT(v.width * v.height, 1);
  EXPECT_EQ(v.dx, f.pixelWidth);
  EXPECT_EQ(v.values.size(), static_cast<std::size_t>(v.width) * v.height);
  EXPECT_EQ(v.values, rig.ctx.grid.Cvolts);
  const auto [low, high] = std::minmax_element(v.values.begin(), v.values.end());
  EXPECT_NEAR(*high - *low, 2.0, 1e-3);
  const FieldGrid j = session.CurrentDensity();
  ASSERT_EQ(j.width, rig.ctx.map.Uwid);
  int carrying = 0;
  double amperes = 0.0;
  for (double x : j.values) {
    carrying += x > 0.0;
    amperes += x * j.dx * j.dx;
  }
  EXPECT_GT(carrying, 0);
  EXPECT_LE(carrying, rig.ctx.map.condCount);
  // Per ampere of drive: each wire carries one ampere net, so the magnitudes add to at least two;
  // the eddies of the proximity effect add some, not a multiple.
  EXPECT_GE(amperes, 2.0 - 1e-9);
  EXPECT_LT(amperes, 3.0);
}

TEST(Session, AFrequencySetJustBeforeASolveIsTheOneSolvedAt) {
  SessionFolder folder("frequency");
  Session session(folder.Options());
  session.SetField(EditBoxTotalConductorPixels, "300");
  const SessionFigures low = session.Solve(SolveWhat::LAndRs);
  session.SetFrequencyHz(100e6);
  const SessionFigures high = session.Solve(SolveWhat::LAndRs);
  EXPECT_EQ(low.frequencyHz, 1e6);
  EXPECT_EQ(high.frequencyHz, 100e6);
  // The skin depth shrinks tenfold: the resistance grows about tenfold, not at all if the old
  // map or omega had been solved.
  EXPECT_GT(high.Rs, 5.0 * low.Rs);
  EXPECT_EQ(session.context().state.omega, 100.0 * kOmegaPerMHz);
  // A script line sets it as well; one the script refuses names itself.
  session.RunCommand("FRE 10");
  EXPECT_EQ(session.Solve(SolveWhat::LAndRs).frequencyHz, 10e6);
  try {
    session.RunCommand("XYZ 1");
    ADD_FAILURE() << "XYZ was taken";
  } catch (const SessionError& e) {
    EXPECT_NE(std::string(e.what()).find("XYZ 1: "), std::string::npos) << e.what();
  }
}

TEST(Session, AStopFromAnotherThreadEndsTheSolveAndLeavesTheSessionUsable) {
  SessionFolder folder("stop");
  Session session(folder.Options());
  session.SetField(EditBoxTotalConductorPixels, "300");
  std::promise<void> running, stopped;
  std::shared_future<void> stopSent = stopped.get_future().share();
  bool first = true;
  // The solve waits at its first progress text until the stop has been asked for, so that the
  // request always finds it running.
  session.SetProgress([&](const std::string&) {
    if (!first) return;
    first = false;
    running.set_value();
    stopSent.wait();
  });
  bool sawStop = false;
  std::string otherError;
  std::thread solver([&] {
    try {
      session.Solve(SolveWhat::Full);
    } catch (const SessionStopped&) {
      sawStop = true;
    } catch (const SessionError& e) {
      otherError = e.what();
    }
  });
  running.get_future().wait();
  session.RequestStop();
  stopped.set_value();
  solver.join();
  EXPECT_TRUE(sawStop) << otherError;
  EXPECT_FALSE(session.Figures().haveC);
  EXPECT_EQ(session.Potential().width, 0);

  session.SetProgress(nullptr);
  const SessionFigures f = session.Solve(SolveWhat::CAndGp);
  EXPECT_TRUE(f.haveC);
  EXPECT_GT(f.C, 0.0);
}

TEST(Session, ABadSettingIsRefusedWithThePanelsMessageAndChangesNothing) {
  SessionFolder folder("refusal");
  Session session(folder.Options());
  session.SetField(EditBoxTotalConductorPixels, "300");
  const SessionFigures before = session.Solve(SolveWhat::CAndGp);
  Context& ctx = session.context();

  const struct {
    EditBox field;
    const char* text;
    const char* message;
  } kBad[] = {{EditBoxTotalConductorPixels, "1", "Invalid pixel total"},
              {EditBoxFrequency, "-3", "Invalid frequency"},
              {EditBoxWireDiameter, "0", "Error in dimension"}};
  for (const auto& bad : kBad) {
    const std::string kept = ctx.panel.edits[bad.field].text;
    try {
      session.SetField(bad.field, bad.text);
      ADD_FAILURE() << bad.text << " was taken";
    } catch (const SessionError& e) {
      EXPECT_NE(std::string(e.what()).find(bad.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(ctx.panel.edits[bad.field].text, kept);
  }
  EXPECT_THROW(session.Generate(GeomCoaxial, {{EditBoxShieldInnerDia, "0.1"}}), SessionError);
  EXPECT_EQ(ctx.state.geometryKind, GeomTwinlead);
  EXPECT_EQ(session.Figures().C, before.C);
  // The map is still the one solved before: the same figures again.
  EXPECT_EQ(session.Solve(SolveWhat::CAndGp).C, before.C);
}

TEST(Session, PixelsInMemoryAreTheSamePictureAsItsFile) {
  SessionFolder folder("pixels");
  const RgbImage ring = testing::RingAroundBlock();
  const fs::path file = folder.path / "ring (0.1mm).png";
  EncodePngFile(file.string(), ring);

  Session fromFile(folder.Options());
  fromFile.LoadUsermap(file.string());
  const SessionFigures a = fromFile.Solve(SolveWhat::Full);

  Session fromMemory(folder.Options());
  const std::vector<std::uint8_t> rgb = Bytes(ring);
  EXPECT_THROW(fromMemory.LoadPixels("ring", ring.width, ring.height, rgb.data(), 0.0),
               SessionError);
  fromMemory.LoadPixels("ring (0.1mm).png", ring.width, ring.height, rgb.data(), 0.0);

  // The picture of the map (mode 0), before a solve paints the currents over the metal, shows the
  // drawn colours, red, green and blue in that order.
  int width = 0, height = 0;
  const std::vector<std::uint8_t> picture = fromMemory.Picture(0, width, height);
  ASSERT_EQ(picture.size(), static_cast<std::size_t>(width) * height * 3);
  std::size_t red = 0, green = 0;
  for (std::size_t p = 0; p + 2 < picture.size(); p += 3) {
    red += picture[p] == 255 && picture[p + 1] == 0 && picture[p + 2] == 0;
    green += picture[p] == 0 && picture[p + 1] == 255 && picture[p + 2] == 0;
  }
  EXPECT_GT(red, 0u);
  EXPECT_GT(green, red);
  const SessionFigures b = fromMemory.Solve(SolveWhat::Full);
  ExpectSameFigures(b, a.C, a.Gp, a.L, a.Rs);
  EXPECT_EQ(b.pixelWidth, a.pixelWidth);

  // The centre drawn in a colour of its own, defined as copper at +1 volt, is the same line.
  RgbImage own = ring;
  for (std::uint32_t& c : own.pixels)
    if (c == 0x0000FFu) c = PackColor(0x12, 0x34, 0x56);
  const std::vector<std::uint8_t> ownRgb = Bytes(own);
  UserColour copper;
  copper.rgb = 0x123456;
  copper.name = "my copper";
  copper.kind = 1;
  copper.resistivity = 1.7241e-8;
  EXPECT_THROW(fromMemory.LoadPixels("ring", own.width, own.height, ownRgb.data(), 1e-4,
                                     {UserColour{0x123456, "bad", 3, 0.0, -1.0, 0.0}}),
               SessionError);
  fromMemory.LoadPixels("ring", own.width, own.height, ownRgb.data(), 1e-4, {copper});
  const SessionFigures c = fromMemory.Solve(SolveWhat::CAndGp);
  EXPECT_EQ(c.C, a.C);
}

}  // namespace
}  // namespace zolva
