#include <gtest/gtest.h>

#include <clocale>
#include <locale>

int main(int argc, char** argv) {
  // Number texts must never depend on the machine's locale.
  std::setlocale(LC_ALL, "C");
  std::locale::global(std::locale::classic());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
