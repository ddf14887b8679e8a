// Drawings from an ordinary paint program: ImageMagick draws a coaxial line with its edges
// smoothed, and the capacitance of the snapped drawing is compared with that of the same drawing
// made without smoothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/script.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

// A started program without windows, with its own program folder.
struct Program {
  HeadlessPlatform platform;
  std::unique_ptr<Context> ctx = std::make_unique<Context>(platform);
  fs::path folder;

  explicit Program(const fs::path& where) : folder(where) {
    platform.echoMessages = false;
    platform.processorCountOverride = 2;
    platform.programFileOverride = (folder / "zolva").string();
    StartMainWindow(*ctx);
    CreatePanel(*ctx);
    ctx->state.ready = true;
    ctx->state.startupScriptChecked = true;
  }
  // The capacitance of the picture, opened with or without snapping; 0 when it was refused.
  double Capacitance(const fs::path& picture, bool snap) {
    std::ofstream(folder / "c.txt")
        << (snap ? "SNA T\n" : "SNA F\n") << "OPE " << picture.string() << "\nCGP\n";
    ctx->results.C = 0.0;
    const ScriptResult r = RunScriptFile(*ctx, (folder / "c.txt").string());
    return r.outcome == ScriptOutcome::Completed ? ctx->results.C : 0.0;
  }
};

int Shell(const std::string& command) {
  return std::system(command.c_str());
}

// The coax: a ground shield filling the picture round a vacuum disc of radius 90 pixels, and a
// +1 volt copper centre of radius 30, 0.1 mm pixels. Ideally C = 2 pi e0 / ln 3 = 50.6 pF/m;
// the sharp drawing gives some 51.5. Smoothing and blurring the edges (a Gaussian of one pixel)
// leaves more than 256 colours, which are refused unless snapped. Snapped, each edge pixel goes
// to the nearer of the two materials it blends, so the boundaries stay within a fraction of a
// pixel of the sharp ones; at these radii a tenth of a pixel moves C by about 0.4 %, hence the
// 1 %. A JPEG of the blurred drawing adds its own noise: 2 %.
TEST(SnapDrawing, SmoothedAndJpegDrawingsSolveLikeTheSharpOne) {
  const std::string convert = ZOLVA_IMAGEMAGICK;
  if (convert.empty() || !fs::exists(convert)) GTEST_SKIP() << "ImageMagick is not installed";
  const fs::path dir = fs::temp_directory_path() / "zolva-snap-drawing";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path sharp = dir / "sharp (0.1mm).png";
  const fs::path smooth = dir / "smooth (0.1mm).png";
  const fs::path jpeg = dir / "smooth (0.1mm).jpg";
  const std::string draw = "'" + convert + "' -size 240x240 xc:'#00FF00' ";
  const std::string shapes =
      " -fill white -draw 'circle 120,120 120,30' -fill '#FF0000' -draw 'circle 120,120 120,90' ";
  ASSERT_EQ(Shell(draw + "+antialias" + shapes + "-depth 8 '" + sharp.string() + "'"), 0);
  ASSERT_EQ(Shell(draw + shapes + "-blur 0x1 -depth 8 '" + smooth.string() + "'"), 0);
  ASSERT_EQ(
      Shell("'" + convert + "' '" + smooth.string() + "' -quality 90 '" + jpeg.string() + "'"), 0);

  Program program(dir);
  Context& ctx = *program.ctx;
  const double reference = program.Capacitance(sharp, false);
  ASSERT_GT(reference, 40e-12);
  EXPECT_FALSE(ctx.map.snapped);

  EXPECT_EQ(program.Capacitance(smooth, false), 0.0);
  ASSERT_FALSE(program.platform.messages.empty());
  // The refusal's first line, then how to load such a drawing.
  const std::string& refusal = program.platform.messages.back().text;
  EXPECT_EQ(refusal.substr(0, refusal.find('\n')), "More than 255 colors found");
  EXPECT_NE(refusal.find("--snap"), std::string::npos);

  const double snapped = program.Capacitance(smooth, true);
  EXPECT_NEAR(snapped / reference, 1.0, 0.01);
  EXPECT_GT(ctx.map.snappedColours, 200);
  EXPECT_NE(SnapSummary(ctx).find(" colors snapped"), std::string::npos);

  // A JPEG snaps whether asked to or not.
  const double fromJpeg = program.Capacitance(jpeg, false);
  EXPECT_NEAR(fromJpeg / reference, 1.0, 0.02);
  EXPECT_TRUE(ctx.map.snapped);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zolva
