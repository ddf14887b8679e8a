#include "program/result_tables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "lsolver/lsolver.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "support/read_file.h"

#if !defined(_WIN32)
#include <sys/resource.h>

#include <csignal>
#endif

namespace zolva {
namespace {

namespace fs = std::filesystem;

using testing::ReadWholeFile;

struct TableRig {
  HeadlessPlatform p;
  Context ctx{p};
  fs::path folder;

  explicit TableRig(const std::string& tag) {
    p.echoMessages = false;
    folder = fs::temp_directory_path() / ("zolva-tables-" + tag);
    fs::remove_all(folder);
    fs::create_directories(folder);
    ctx.state.programFolder = folder.string() + "/";
    SetField(ctx, EditBoxName, "run");
  }
  ~TableRig() { fs::remove_all(folder); }
  std::string Table(const char* suffix) const {
    return ReadWholeFile(folder / (std::string("run") + suffix));
  }
  bool Exists(const char* suffix) const {
    return fs::exists(folder / (std::string("run") + suffix));
  }
};

TEST(ResultTables, RowsHoldTheWholeNumberAndCrLfAndFollowTheirConditions) {
  TableRig rig("rows");
  Results& r = rig.ctx.results;
  // A loss-free line with no L yet: only the capacitance row.
  r.C = 12.34e-12;
  r.Gp = 0.0;
  r.L = 0.0;
  ASSERT_TRUE(WriteCapacitanceRow(rig.ctx, 1));
  EXPECT_EQ(rig.Table(" Capacitances.txt"), "12.34000000\r\n");
  EXPECT_FALSE(rig.Exists(" Conductances.txt"));
  EXPECT_FALSE(rig.Exists(" VFactors.txt"));

  // The second row appends; a lossy line with a known L writes all three tables. The velocity
  // factor of L = 0.25 uH/m and C = 44.4 pF/m is 1/(sqrt(L C) c0) = 1.0012
  r.C = 44.4e-12;
  r.Gp = 12.5;  // 17 characters with its line end: written whole, not cut
  r.L = 0.25e-6;
  ASSERT_TRUE(WriteCapacitanceRow(rig.ctx, 2));
  EXPECT_EQ(rig.Table(" Capacitances.txt"), "12.34000000\r\n44.40000000\r\n");
  EXPECT_EQ(rig.Table(" Conductances.txt"), "12.500000000000\r\n");
  EXPECT_EQ(rig.Table(" VFactors.txt"), "1.00119301\r\n");

  // A new series (row 1) replaces the tables; with switch 23 on it appends to them instead.
  r.L = 1.5e-6;
  r.Rs = 0.125;
  ASSERT_TRUE(WriteInductanceRow(rig.ctx, 1));
  ASSERT_TRUE(WriteInductanceRow(rig.ctx, 2));
  ASSERT_TRUE(WriteInductanceRow(rig.ctx, 1));
  EXPECT_EQ(rig.Table(" Inductances.txt"), "1.50000000\r\n");
  EXPECT_EQ(rig.Table(" Resistances.txt"), "0.12500000\r\n");
  rig.ctx.state.switches[Switch::AlwaysAppend] = true;
  ASSERT_TRUE(WriteInductanceRow(rig.ctx, 1));
  EXPECT_EQ(rig.Table(" Inductances.txt"), "1.50000000\r\n1.50000000\r\n");

  // The dry run writes nothing at all.
  rig.ctx.state.switches[Switch::DryRun] = true;
  ASSERT_TRUE(WriteInductanceRow(rig.ctx, 1));
  rig.ctx.state.switches[Switch::AlwaysAppend] = false;
  ASSERT_TRUE(WriteInductanceRow(rig.ctx, 1));
  EXPECT_EQ(rig.Table(" Inductances.txt"), "1.50000000\r\n1.50000000\r\n");

  // A later row of a series whose table does not exist yet (a new name) starts the table.
  rig.ctx.state.switches[Switch::DryRun] = false;
  SetField(rig.ctx, EditBoxName, "fresh");
  ASSERT_TRUE(WriteInductanceRow(rig.ctx, 3));
  EXPECT_EQ(ReadWholeFile(rig.folder / "fresh Inductances.txt"), "1.50000000\r\n");
  EXPECT_TRUE(rig.p.messages.empty());
}

TEST(ResultTables, AFileThatCannotBeWrittenIsReportedByNameAndTheSolveWritesNoRow) {
  TableRig rig("fail");
  Results& r = rig.ctx.results;
  r.L = 1e-6;
  r.Rs = 0.5;
  ASSERT_TRUE(WriteInductanceRow(rig.ctx, 1));
  // The Resistances table's name is taken by a folder: that table fails, and the Inductances
  // table does not take the row either, so the two tables stay row for row alike.
  fs::remove(rig.folder / "run Resistances.txt");
  fs::create_directory(rig.folder / "run Resistances.txt");
  EXPECT_FALSE(WriteInductanceRow(rig.ctx, 2));
  EXPECT_TRUE(rig.ctx.state.operationFailed);
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_NE(rig.p.messages[0].text.find("run Resistances.txt"), std::string::npos);
  EXPECT_EQ(rig.Table(" Inductances.txt"), "1.00000000\r\n");

  // The same for the three tables of a C and Gp solve, whichever of them fails.
  r.C = 10e-12;
  r.Gp = 1e-3;
  r.L = 0.25e-6;
  ASSERT_TRUE(WriteCapacitanceRow(rig.ctx, 1));
  fs::remove(rig.folder / "run VFactors.txt");
  fs::create_directory(rig.folder / "run VFactors.txt");
  EXPECT_FALSE(WriteCapacitanceRow(rig.ctx, 2));
  EXPECT_EQ(rig.Table(" Capacitances.txt"), "10.00000000\r\n");
  EXPECT_EQ(rig.Table(" Conductances.txt"), "0.001000000000\r\n");
  ASSERT_EQ(rig.p.messages.size(), 2u);
  EXPECT_NE(rig.p.messages[1].text.find("run VFactors.txt"), std::string::npos);

  // A folder that does not exist: the dump names its file.
  rig.ctx.state.operationFailed = false;
  rig.ctx.state.programFolder = (rig.folder / "missing" / "").string();
  EXPECT_FALSE(WriteVoltageDump(rig.ctx));
  EXPECT_TRUE(rig.ctx.state.operationFailed);
  ASSERT_EQ(rig.p.messages.size(), 3u);
  EXPECT_NE(rig.p.messages[2].text.find("missing/run Cvolts.txt"), std::string::npos);
  // No temporary file is left anywhere.
  for (const auto& e : fs::directory_iterator(rig.folder))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

#if !defined(_WIN32)
TEST(ResultTables, AFullDiskLeavesTheEarlierDumpWhole) {
  TableRig rig("full");
  SolverGrid& g = rig.ctx.grid;
  g.Cwid = 3;
  g.Chei = 2;
  g.Awid = 1;
  g.Ahei = 1;
  g.Cvolts = {1.0, 0.5, 0.0, -0.25, -1.0, 0.125};
  g.Avolts = {0.0};
  ASSERT_TRUE(WriteVoltageDump(rig.ctx));
  const std::string earlier = rig.Table(" Cvolts.txt");

  // A core of 100 x 100 nodes needs some 130 kB; the file size limit stops the write at 16 kB
  // as a full disk would.
  g.Cwid = 100;
  g.Chei = 100;
  g.Cvolts.assign(10000, 0.5);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 16384;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteVoltageDump(rig.ctx);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);

  EXPECT_FALSE(written);
  EXPECT_TRUE(rig.ctx.state.operationFailed);
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_NE(rig.p.messages[0].text.find("run Cvolts.txt"), std::string::npos);
  EXPECT_EQ(rig.Table(" Cvolts.txt"), earlier);
}
#endif

TEST(ResultTables, VoltageDumpDescribesItselfAndHoldsEveryNode) {
  TableRig rig("dump");
  SolverGrid& g = rig.ctx.grid;
  g.Cwid = 3;
  g.Chei = 2;
  g.Awid = 2;
  g.Ahei = 2;
  g.AtoCX = -5;
  g.AtoCY = -6;
  g.CtoAX = 5;
  g.CtoAY = 6;
  g.UtoCX = 1;
  g.UtoCY = 2;
  g.CtoUX = -1;
  g.CtoUY = -2;
  g.Cvolts = {1.0, 0.5, 0.0, -0.25, -1.0, 0.125};
  g.Avolts = {0.0, 0.1, 0.2, 0.3};
  ASSERT_TRUE(WriteVoltageDump(rig.ctx));
  std::string text = rig.Table(" Cvolts.txt");

  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  ASSERT_EQ(lines.size(), 12u + 10u + 1u + 2u);
  EXPECT_EQ(lines[0], "3 = Cwid.  Cwid is the width of the core.");
  EXPECT_EQ(lines[3], "2 = Ahei.  Ahei is the height of the apron.");
  EXPECT_EQ(lines[4], "-5 = AtoCX.  To convert aX to cX:  cX:=(aX shl 3)+AtoCX");
  EXPECT_EQ(lines[11], "-2 = CtoUY.  To convert cY to uY:  uY:=cY+CtoUY");
  for (int i = 12; i < 22; ++i) {
    bool strLine = lines[i].find("str(") != std::string::npos;
    EXPECT_EQ(lines[i].size(), strLine ? 58u : 56u) << lines[i];
  }
  EXPECT_EQ(lines[12].substr(0, 42), "The data is written by the following code:");
  EXPECT_EQ(lines[22], "");
  // One value per node, row by row, each 12 characters and a space.
  EXPECT_EQ(lines[23],
            "1.0000000000 0.5000000000 0.0000000000 -0.2500000000 -1.0000000000 0.1250000000 ");
  EXPECT_EQ(lines[24], "0.0000000000 0.1000000000 0.2000000000 0.3000000000 ");

  // A grid whose sizes ask for more nodes than its arrays hold is refused before the file is
  // touched: the dump already written stays.
  g.Chei = 3;
  EXPECT_THROW(WriteVoltageDump(rig.ctx), std::out_of_range);
  EXPECT_EQ(rig.Table(" Cvolts.txt"), text);
}

TEST(ResultTables, TheCurrentsFileIsWrittenByTheProgram) {
  TableRig rig("currents");
  // No currents yet: nothing is written, and that is no failure.
  EXPECT_TRUE(WriteCurrentsFile(rig.ctx));
  EXPECT_FALSE(rig.Exists(" currents.txt"));

  LSolverState& ls = rig.ctx.lsolver;
  ls.pixelCurrents = {{0.5, 0.0}, {0.0, 1.0}};
  ls.currentX = {1, 2};
  ls.currentY = {3, 4};
  ls.currentKind = {1, -1};
  ASSERT_TRUE(WriteCurrentsFile(rig.ctx));
  EXPECT_EQ(rig.Table(" currents.txt"), CurrentsTable(ls));
  EXPECT_TRUE(rig.p.messages.empty());

  // An unwritable folder: one message naming the file, and the command fails.
  rig.ctx.state.programFolder = (rig.folder / "missing" / "").string();
  EXPECT_FALSE(WriteCurrentsFile(rig.ctx));
  ASSERT_EQ(rig.p.messages.size(), 1u);
  const std::string expected = "Cannot write " + rig.ctx.state.programFolder + "run currents.txt: ";
  EXPECT_EQ(rig.p.messages[0].text.rfind(expected, 0), 0u) << rig.p.messages[0].text;
  EXPECT_EQ(rig.p.messages[0].caption, "zolva");
  EXPECT_TRUE(rig.ctx.state.operationFailed);
}

}  // namespace
}  // namespace zolva
