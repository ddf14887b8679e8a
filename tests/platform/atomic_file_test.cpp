// Files replaced whole or not at all: whatever fails on the way, the earlier file stays as it
// was, the failure says why, and no temporary file is left behind. (A full disk is tried on
// the voltage dump, with the result tables.)
#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/read_file.h"

#if !defined(_WIN32)
#include <sys/resource.h>

#include <csignal>
#endif

namespace zolva {
namespace {

namespace fs = std::filesystem;

struct Folder {
  fs::path path;
  explicit Folder(const std::string& tag) {
    path = fs::temp_directory_path() / ("zolva-atomic-" + tag);
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Folder() { fs::remove_all(path); }
  int Entries() const {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(path)) ++n;
    return n;
  }
};

TEST(AtomicFile, ReplacesWholeOrLeavesTheEarlierFile) {
  Folder folder("replace");
  const std::string target = (folder.path / "table.txt").string();
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target, "first\r\n", error)) << error;
  ASSERT_TRUE(WriteFileAtomically(target, "second\r\n", error)) << error;
  EXPECT_EQ(testing::ReadWholeFile(target), "second\r\n");
  EXPECT_EQ(folder.Entries(), 1);

  // A file that is written but dropped, or never finished, leaves the target alone.
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write("half of a third"));
    EXPECT_EQ(folder.Entries(), 2);  // the temporary file lies beside the target
  }
  EXPECT_EQ(testing::ReadWholeFile(target), "second\r\n");
  EXPECT_EQ(folder.Entries(), 1);

  // A missing folder, and a target that is a folder: refused with a reason, nothing changed.
  EXPECT_FALSE(WriteFileAtomically((folder.path / "missing" / "x.txt").string(), "x", error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  fs::create_directory(folder.path / "taken");
  error.clear();
  EXPECT_FALSE(WriteFileAtomically((folder.path / "taken").string(), "x", error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(folder.path / "taken"));
  EXPECT_EQ(folder.Entries(), 2);

  // Reading back: a missing file is empty and not there, an existing one is read whole.
  std::string bytes = "stale";
  bool exists = true;
  EXPECT_TRUE(ReadFileBytes((folder.path / "none.txt").string(), bytes, exists, error));
  EXPECT_FALSE(exists);
  EXPECT_EQ(bytes, "");
  EXPECT_TRUE(ReadFileBytes(target, bytes, exists, error));
  EXPECT_TRUE(exists);
  EXPECT_EQ(bytes, "second\r\n");
}

}  // namespace
}  // namespace zolva
