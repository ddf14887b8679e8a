// "MoreColors.txt": every line through the line reader, and the whole file through the loader
// that registers the good lines into the colour table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/materials.h"
#include "core/text_reader.h"
#include "fuzz/fuzz_support.h"
#include "support/recording_reporter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zolva;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  ForEachLine(in, 255, [](const std::string& line) {
    const MoreColorsLine parsed = ParseMoreColorsLine(line);
    // A good line carries a colour of 24 bits and values its kind of material can have.
    if (parsed.status == MoreColorsLine::Status::Good) {
      const bool insulator = parsed.kind == KindInsul;
      if (parsed.color > 0xFFFFFFu ||
          (insulator && (!(parsed.Permittivity > 0) || !(parsed.TanDelta >= 0))) ||
          (!insulator && (!(parsed.Resistivity >= 0) || !(parsed.Permeability > 0))))
        std::abort();
    }
    if (parsed.status == MoreColorsLine::Status::Bad && parsed.problem.empty()) std::abort();
    return true;
  });

  static const std::string folder = fuzz::ScratchFolder() + "colors/";
  static const bool made = [] {
    std::filesystem::create_directories(folder);
    return true;
  }();
  (void)made;
  fuzz::WriteFile(folder + "MoreColors.txt", data, size);
  testing::RecordingReporter report;
  static MaterialTables materials;
  InitMaterialTables(materials, report, folder);
  if (materials.table.count < 0 || materials.table.count > kColorTableCapacity) std::abort();
  return 0;
}
