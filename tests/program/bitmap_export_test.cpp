// Saving the displayed field: names, formats, the 3200 x 3200 picture, and a failed write that
// leaves the previous picture in place.
#include "program/bitmap_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch_main.h"
#include "csolver/capacitance.h"
#include "csolver/csolver_fixture.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/solve_control.h"
#include "support/read_file.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;
// The solver fixture over the application's records.
using SolverFixture = testing::BasicSolverFixture<Context>;

fs::path FreshFolder(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() /
                       ("zolva-export-" + name + "-" +
                        std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(BitmapExport, NamesAndFormats) {
  struct Row {
    int mode;
    bool currents;
    const char* name;
  };
  const Row rows[] = {{0, false, "map"},   {1, false, "Cvolts"}, {2, false, "Cforce"},
                      {3, false, "Dmap"},  {4, false, "Loss"},   {5, false, "Vlines"},
                      {6, false, "lines"}, {7, false, "Elines"}, {5, true, "JVlines"},
                      {6, true, "Jlines"}, {7, true, "JElines"}, {1, true, "JCvolts"}};
  for (const Row& r : rows) EXPECT_EQ(PictureBaseName(r.mode, r.currents), r.name);
  EXPECT_THROW(PictureBaseName(8, false), std::out_of_range);
  EXPECT_THROW(PictureBaseName(-1, true), std::out_of_range);

  EXPECT_EQ(PictureFormat("PNG"), "PNG");
  EXPECT_EQ(PictureFormat("TIF"), "TIFF");
  EXPECT_EQ(PictureFormat("TIFF"), "TIFF");
  EXPECT_EQ(PictureFormat("BMP"), "BMP");
  EXPECT_EQ(PictureFormat("DIB"), "BMP");
  EXPECT_EQ(PictureFormat("png"), "BMP");  // compared exactly, in capitals

  // The state after start-up: map Default.bmp; after a TIFF Usermap in mode 6 with currents.
  HeadlessPlatform platform;
  Context ctx(platform);
  ctx.display.displayMode = 0;
  ctx.display.plotCurrents = false;
  EXPECT_EQ(DefaultPictureName(ctx), "map Default.bmp");
  ctx.display.displayMode = 6;
  ctx.display.plotCurrents = true;
  ctx.state.mapName = "Two plate";
  ctx.state.mapExtension = "tiff";
  EXPECT_EQ(DefaultPictureName(ctx), "Jlines Two plate.tiff");
}

// A platform whose save dialog answers as a test tells it and remembers what it proposed.
class DialogPlatform : public HeadlessPlatform {
 public:
  bool ChooseSaveFile(std::string& path) override {
    proposed = path;
    if (!answer.empty()) path = answer;
    return !cancel;
  }
  std::string proposed, answer;
  bool cancel = false;
};

TEST(BitmapExport, WholeFieldInTheMapsFormat) {
  SolverFixture f;
  f.DrawCoax(10, 20, 24, testing::kMagenta);
  f.ctx.map.mapToFieldX = kFieldCentre - 34;
  f.ctx.map.mapToFieldY = kFieldCentre - 34;
  ASSERT_TRUE(f.Setup());
  SolveCapacitance(CapacitanceJobOf(f.ctx));
  f.ctx.display.displayMode = 1;
  f.ctx.display.plotCurrents = false;
  f.ctx.map.mapExtensionUpper = "PNG";
  // A small window: the picture is still the whole field.
  ResizeDisplay(f.ctx, 100, 60);
  const fs::path dir = FreshFolder("png");
  const std::string path = (dir / "Cvolts coax.png").string();
  ASSERT_TRUE(SaveDisplayedBitmapAs(f.ctx, path));
  const RgbImage image = DecodeImageFile(path);
  EXPECT_EQ(image.width, 3200);
  EXPECT_EQ(image.height, 3200);
  EXPECT_EQ(image.pixels, f.ctx.field.pixels);
  // The PNG signature: the format follows the Usermap, not the name.
  EXPECT_EQ(testing::ReadWholeFile(path).substr(1, 3), "PNG");
  // No temporary file is left beside it.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
  // Mode 1 painted the field: the node between the conductors is cyan, not the map's magenta.
  const std::size_t mid = static_cast<std::size_t>(kFieldCentre) * kFieldSize + kFieldCentre + 15;
  EXPECT_EQ(image.pixels[mid] & 0xFF, 0u);
  EXPECT_GT(image.pixels[mid] >> 16, 0u);
  fs::remove_all(dir);
}

TEST(BitmapExport, FailedWriteKeepsTheOldPictureAndNamesTheFile) {
  SolverFixture f;
  f.DrawCoax(10, 20, 24, testing::kMagenta);
  const fs::path dir = FreshFolder("fail");
  const fs::path target = dir / "Cvolts coax.bmp";
  { std::ofstream(target, std::ios::binary) << "a good picture"; }
  // The temporary beside the target cannot be created: a folder stands in its place.
  fs::create_directory(dir / "Cvolts coax.bmp.part");
  f.platform.queuedAnswers.clear();
  EXPECT_FALSE(SaveDisplayedBitmapAs(f.ctx, target.string()));
  EXPECT_EQ(testing::ReadWholeFile(target), "a good picture");
  ASSERT_FALSE(f.platform.messages.empty());
  EXPECT_NE(f.platform.messages.back().text.find(target.string()), std::string::npos);
  // A folder that does not exist: the same message, nothing written.
  const fs::path missing = dir / "no such folder" / "map Default.bmp";
  EXPECT_FALSE(SaveDisplayedBitmapAs(f.ctx, missing.string()));
  EXPECT_FALSE(fs::exists(missing));
  fs::remove_all(dir);
}

TEST(BitmapExport, DialogStartsInTheProgramFolderAndMayCancel) {
  DialogPlatform platform;
  platform.echoMessages = false;
  Context ctx(platform);
  const fs::path dir = FreshFolder("dialog");
  ctx.state.programFolder = dir.string() + "/";
  ctx.display.displayMode = 0;
  ctx.display.plotCurrents = false;
  platform.cancel = true;
  EXPECT_FALSE(SaveDisplayedBitmap(ctx, true));
  EXPECT_EQ(platform.proposed, dir.string() + "/map Default.bmp");
  EXPECT_TRUE(fs::is_empty(dir));
  platform.cancel = false;
  platform.answer = (dir / "chosen.bmp").string();
  EXPECT_TRUE(SaveDisplayedBitmap(ctx, true));
  EXPECT_EQ(DecodeImageFile(platform.answer).width, 3200);
  fs::remove_all(dir);
}

TEST(BitmapExport, ScriptCommandSavesUnderTheDefaultNameInTheWorkingFolder) {
  HeadlessPlatform platform;
  platform.echoMessages = false;
  Context ctx(platform);
  const fs::path dir = FreshFolder("script");
  platform.programFileOverride = (dir / "zolva").string();
  StartMainWindow(ctx);
  CreatePanel(ctx);
  ctx.state.startupScriptChecked = true;
  { std::ofstream(dir / "save.txt") << "SAV\r\n"; }
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  const ScriptResult r = RunScriptFile(ctx, "save.txt");
  fs::current_path(before);
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed);
  // The start-up state: V field lines, currents plotted, the map Default from a BMP.
  EXPECT_EQ(DecodeImageFile((dir / "JVlines Default.bmp").string()).width, 3200);
  fs::remove_all(dir);
}

// zolva-batch --save-picture MODE: the picture of the mode under its default name, after the
// run; a mode outside 0..7 is refused before anything runs.
TEST(BitmapExport, BatchSavesThePictureOfTheNamedMode) {
  const fs::path dir = FreshFolder("batch");
  { std::ofstream(dir / "quiet.txt") << "THR 1\r\n"; }
  const std::string folder = dir.string() + "/", script = (dir / "quiet.txt").string();
  auto batch = [&](const char* mode, std::string& err) {
    HeadlessPlatform platform;
    platform.processorCountOverride = 2;
    std::ostringstream o, e;
    const char* argv[] = {"zolva-batch",  script.c_str(),   "--folder",
                          folder.c_str(), "--save-picture", mode};
    const int code = RunBatch(6, argv, platform, o, e);
    err = e.str();
    return code;
  };
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  std::string err;
  EXPECT_EQ(batch("0", err), 0) << err;
  EXPECT_EQ(batch("8", err), 2);
  EXPECT_NE(err.find("--save-picture"), std::string::npos);
  fs::current_path(before);
  EXPECT_EQ(DecodeImageFile((dir / "Jmap Default.bmp").string()).height, 3200);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zolva
