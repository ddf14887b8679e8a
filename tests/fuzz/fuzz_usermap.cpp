// The Usermap analysis on decoded pictures: rescale, colour analysis, material records and the
// skin-depth restriction. The first byte chooses the rescale index, the restriction and the
// ring width; the second the pixel width and the frequency; the rest is the image file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/materials.h"
#include "core/pixel_map.h"
#include "core/results.h"
#include "core/solve_state.h"
#include "geometry/geometry.h"
#include "geometry/map_ops.h"
#include "platform/image_codec.h"
#include "support/recording_reporter.h"

namespace {

// Pictures above this many pixels are skipped: they only make the run slow, and the decoders'
// own limits are the image harness's matter.
constexpr std::int64_t kMaxFuzzPixels = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zolva;
  if (size < 2) return 0;
  RgbImage image;
  try {
    image = DecodeImageMemory(data + 2, size - 2);
  } catch (const ImageError&) {
    return 0;
  }
  if (static_cast<std::int64_t>(image.width) * image.height > kMaxFuzzPixels) return 0;

  static MaterialTables fresh = [] {
    MaterialTables m;
    testing::RecordingReporter report;
    InitMaterialTables(m, report, "/nonexistent-zolva-fuzz/");
    return m;
  }();
  SolveState state;
  state.solvesStubbed = true;
  state.geometryKind = GeomUsermap;
  state.switches[Switch::FivePixelRing] = (data[0] & 8) != 0;
  static const double widths[4] = {0.0, 1e-4, 2.5e-6, 0.01};
  static const double megahertz[4] = {1.0, 1e-6, 1e4, 1e-20};
  state.pixelWidth = widths[data[1] & 3];
  state.frequencyMHz = megahertz[(data[1] >> 2) & 3];
  state.omega = state.frequencyMHz * kOmegaPerMHz;

  PixelMap map;
  MaterialTables materials = fresh;
  Results results;
  bool fieldReady = false;
  testing::RecordingReporter report;
  FailureSlot failure;
  GeometryInputs inputs;
  inputs.restrict = (data[0] & 4) != 0;
  const GeometryJob job{state, map, materials, results, fieldReady, report, failure, inputs};

  map.sourceImage = std::move(image.pixels);
  map.sourceWidth = image.width;
  map.sourceHeight = image.height;
  map.rescaleIndex = data[0] & 3;
  RescaleMap(job);
  const bool analysed = AnalyseColours(job);
  FillPaletteProperties(job);
  if (analysed) RestrictToSkinDepth(job);

  // Every pixel has a palette index within the palette, and the records cover the palette.
  const std::size_t n = map.Ucolor.size();
  if (map.Uindex.size() != n || n != static_cast<std::size_t>(map.Uwid) * map.Uhei) std::abort();
  if (materials.palette.count < 0 || materials.palette.count > kPaletteCapacity) std::abort();
  if (materials.recs.size() != static_cast<std::size_t>(materials.palette.count)) std::abort();
  if (analysed)
    for (std::uint8_t i : map.Uindex)
      if (i >= materials.palette.count) std::abort();
  return 0;
}
