// The whole content of a file the code under test wrote, byte for byte ("" when it is missing).
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zolva::testing {

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace zolva::testing
