// The program's services: its folder, the tone generator and the bounded records of a long run.
#include "program/services.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/headless_platform.h"
#include "program/context.h"

namespace zolva {
namespace {

TEST(Services, ProgramFolderEndsInASeparator) {
  HeadlessPlatform p;
  p.echoMessages = false;
  Context ctx(p);
  struct Row {
    std::string path;
    std::string folder;
  };
  // clang-format off
  const Row rows[] = {{"/opt/zolva/bin/zolva", "/opt/zolva/bin/"},
                      {"C:\\Tools\\z.exe", "C:\\Tools\\"},
                      {"/zolva", "/"}, {"zolva", "./"},
                      {"/" + std::string(300, 'a') + "/zolva", "/" + std::string(254, 'a') + "/"}};
  // clang-format on
  for (const Row& r : rows) {
    p.programFileOverride = r.path;
    EXPECT_EQ(ProgramFolder(ctx), r.folder) << r.path;
  }
}

TEST(Services, PlayToneAndTone) {
  HeadlessPlatform p;
  p.echoMessages = false;
  Context ctx(p);

  PlayTone(ctx, 7000, 100, 60);
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(p.messages[0].text, "Sample rate of 11025 is too Low to play a tone of 7000Hz");
  EXPECT_EQ(p.messages[0].caption, "zolva");
  EXPECT_TRUE(p.waves.empty());

  PlayTone(ctx, 6615, 100, 60);
  ASSERT_EQ(p.waves.size(), 1u);
  EXPECT_EQ(p.waves[0].image->size(), 46u + 1102u);
  EXPECT_EQ(p.waves[0].mode, SoundMode::Async);

  Tone(ctx, 200);
  ASSERT_EQ(p.waves.size(), 2u);
  EXPECT_EQ(p.waves[1].mode, SoundMode::AsyncLoop);
  EXPECT_EQ(p.waves[1].image->size(), 46u + 11025u);
  Tone(ctx, 0);
  ASSERT_EQ(p.waves.size(), 3u);
  EXPECT_EQ(p.waves[2].mode, SoundMode::Async);
  EXPECT_EQ(p.waves[2].image->size(), 46u + 11u);
  EXPECT_EQ(p.messages.size(), 1u);
}

// The end tone of every solve, a pause and a message per step: a sweep of thousands of solves
// records in bounded memory, keeping its newest entries.
TEST(Services, ALongRunRecordsInBoundedMemory) {
  HeadlessPlatform p;
  p.echoMessages = false;
  Context ctx(p);
  for (int step = 0; step < 1500; ++step) {
    Tone(ctx, 200);
    p.Sleep(600);
    Tone(ctx, 0);
    p.ShowMessageBox("step " + std::to_string(step), "zolva", ButtonsOk);
  }
  EXPECT_LE(p.waves.size(), HeadlessPlatform::kRecordLimit);
  EXPECT_LE(p.sleeps.size(), HeadlessPlatform::kRecordLimit);
  ASSERT_LE(p.messages.size(), HeadlessPlatform::kRecordLimit);
  ASSERT_FALSE(p.messages.empty());
  EXPECT_EQ(p.messages.back().text, "step 1499");
  EXPECT_EQ(p.waves.back().mode, SoundMode::Async);
}

}  // namespace
}  // namespace zolva
