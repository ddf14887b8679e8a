// Shared pieces of the fuzz harnesses: a private scratch folder and a whole-file writer.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace zolva::fuzz {

// A folder of this process's own under the temporary directory, made once; every file a harness
// writes, or lets the program write, lies in it.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const std::filesystem::path p =
        std::filesystem::temp_directory_path() / ("zolva-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p.string() + "/";
  }();
  return folder;
}

inline void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace zolva::fuzz
