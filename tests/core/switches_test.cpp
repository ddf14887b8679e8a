#include "core/switches.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

namespace zolva {
namespace {

TEST(Switches, TableDescribesEachNumberOnceInOrder) {
  std::set<std::string_view> names;
  for (int n = 0; n < kSwitchCount; ++n) {
    const SwitchRow& row = kSwitchTable[static_cast<std::size_t>(n)];
    EXPECT_EQ(SwitchNumber(row.id), n) << row.name;
    EXPECT_FALSE(row.name.empty()) << n;
    EXPECT_FALSE(row.meaning.empty()) << row.name;
    EXPECT_TRUE(names.insert(row.name).second) << "name used twice: " << row.name;
  }
}

TEST(Switches, BankReadsTheSameStateByNameAndByNumber) {
  SwitchBank bank;
  bank.SetNumbered(24, true);
  EXPECT_TRUE(bank[Switch::DryRun]);
  bank[Switch::AlwaysAppend] = true;
  EXPECT_TRUE(bank.Numbered(23));
  // The ring width and the fitted correction are one switch: setting one sets the other.
  bank[Switch::FivePixelRing] = true;
  EXPECT_TRUE(bank[Switch::FitCorrection]);
  EXPECT_TRUE(bank.Numbered(33));
  bank.Clear();
  for (const SwitchRow& row : kSwitchTable) EXPECT_FALSE(bank[row.id]) << row.name;

  for (int bad : {-1, kSwitchCount}) {
    try {
      bank.SetNumbered(bad, true);
      ADD_FAILURE() << bad << " was accepted";
    } catch (const std::out_of_range& e) {
      EXPECT_NE(std::string(e.what()).find(std::to_string(bad)), std::string::npos) << e.what();
    }
    EXPECT_THROW((void)bank.Numbered(bad), std::out_of_range);
  }
}

}  // namespace
}  // namespace zolva
