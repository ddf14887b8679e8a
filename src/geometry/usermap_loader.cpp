// Loading a Usermap from an image file: what its file name says, the decode, and the analysis of
// its colours into the palette, the per-pixel palette index and the per-colour material records.
#include <algorithm>
#include <cctype>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "core/materials.h"
#include "core/pixel_map.h"
#include "geometry/colour_snap.h"
#include "geometry/geometry.h"
#include "geometry/map_ops.h"
#include "platform/image_codec.h"

namespace zolva {
namespace {

constexpr std::size_t kMaxPathText = 255;
constexpr std::size_t kMaxNameText = 32;
constexpr std::size_t kMaxExtensionText = 8;

std::string Upper(std::string text) {
  for (char& ch : text)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return text;
}

// The extension is the text after the file name's last ".", when that is a plain word of
// letters and digits: a name without one ("map", or "map (0.1mm)" whose only point lies in
// the pixel width) has none, and nothing of the name is taken for it.
std::string ExtensionOf(const std::string& fileName) {
  std::size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos) return {};
  std::string ext = fileName.substr(dot + 1);
  if (ext.empty() || ext.size() > kMaxExtensionText) return {};
  for (char ch : ext)
    if (!std::isalnum(static_cast<unsigned char>(ch))) return {};
  return ext;
}

// Looks up each colour of the map once; consecutive pixels mostly share a colour.
class PaletteLookup {
 public:
  explicit PaletteLookup(const GeometryJob& job) : job_(job) {}
  int operator()(std::uint32_t color) {
    if (last_ >= 0 && color == lastColor_) return last_;
    int index;
    auto found = known_.find(color);
    if (found != known_.end()) {
      index = found->second;
    } else {
      index = FindPaletteIndex(job_.materials, color);
      if (index == kPaletteFull) return kPaletteFull;
      known_.emplace(color, index);
    }
    last_ = index;
    lastColor_ = color;
    return index;
  }

 private:
  const GeometryJob& job_;
  std::unordered_map<std::uint32_t, int> known_;
  int last_ = -1;
  std::uint32_t lastColor_ = 0;
};

}  // namespace

UsermapName ParseUsermapFileName(const std::string& path) {
  UsermapName result;
  std::size_t separator = path.find_last_of("/\\");
  result.fileName = separator == std::string::npos ? path : path.substr(separator + 1);
  result.extension = ExtensionOf(result.fileName);
  result.extensionUpper = Upper(result.extension);

  std::string name = result.fileName;
  if (!result.extension.empty()) name.resize(name.size() - result.extension.size() - 1);

  // The pixel width is written between the last "(" and the last ")".
  std::size_t open = name.find_last_of('(');
  std::size_t close = name.find_last_of(')');
  if (open != std::string::npos && close != std::string::npos && close > open) {
    result.pixelWidthText = name.substr(open + 1, close - open - 1).substr(0, kMaxNameText);
    name.erase(open, close - open + 1);
  }

  if (name.starts_with("Usermap")) name.erase(0, 7);
  std::size_t first = name.find_first_not_of(' ');
  std::size_t last = name.find_last_not_of(' ');
  name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
  result.mapName = name.substr(0, kMaxPathText);
  return result;
}

namespace {

bool RefuseImage(const GeometryJob& job, const std::string& path, const std::string& reason) {
  Fail(job.failure, FailureKind::Input, "Exception Raised on file " + path + "\n(" + reason + ")",
       "zolva");
  job.state.operationFailed = true;
  return false;
}

// Why a decoded picture cannot be a map, or nothing.
std::string ImageFault(const GeometryJob& job, const RgbImage& image) {
  if (!FitsPixelLimit({image.width, image.height}, MapPixelLimit(job.state))) {
    return "the image of " + std::to_string(image.width) + " x " + std::to_string(image.height) +
           " pixels is above the limit of " + std::to_string(MapPixelLimit(job.state)) + " pixels";
  }
  if (image.pixels.size() !=
      static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
    return "the decoded pixels do not fill the image";
  }
  return {};
}

}  // namespace

bool LoadImageFile(const GeometryJob& job, const std::string& path) {
  // The file is decoded into a temporary: a file that cannot be used leaves the map alone.
  RgbImage image;
  std::string reason;  // why the file cannot be used, for the message
  try {
    image = DecodeImageFile(path);
  } catch (const std::bad_alloc&) {
    reason = "the memory cannot hold the image";
  } catch (const std::exception& error) {
    // ImageError says what is wrong with the file: not an image, cut short, unsupported.
    reason = error.what();
  }
  if (!reason.empty()) return RefuseImage(job, path, reason);
  return AcceptImage(job, std::move(image), path);
}

bool AcceptImage(const GeometryJob& job, RgbImage image, const std::string& path) {
  auto refuse = [&](const std::string& reason) { return RefuseImage(job, path, reason); };
  if (const std::string fault = ImageFault(job, image); !fault.empty()) return refuse(fault);
  for (std::uint32_t& c : image.pixels) c &= 0xFFFFFFu;  // opaque 24-bit colours

  // A JPEG never keeps exact colours, so its colours always snap to the materials it shows.
  const bool snap = job.inputs.snapColours || !image.exactColours;
  SnapOutcome snapped;
  if (snap) {
    try {
      snapped = SnapColours(image.pixels, image.width, image.height, job.materials.table,
                            image.exactColours);
    } catch (const std::bad_alloc&) {
      return refuse("the memory cannot hold the snapping of its colours");
    }
    if (!snapped.ok) {
      return refuse(image.exactColours
                        ? "snapping its colours needs a material's colour in the picture, and "
                          "it holds none"
                        : "snapping its colours needs an area of a material's colour in the "
                          "picture, and it holds none");
    }
  }
  PixelMap& m = job.map;
  m.snapped = snap;
  m.snappedPixels = snapped.pixels;
  m.snappedColours = snapped.colours;
  m.sourceImage = std::move(image.pixels);
  m.sourceWidth = image.width;
  m.sourceHeight = image.height;
  m.sourcePath = path;
  return true;
}

bool AnalyseColours(const GeometryJob& job) {
  PixelMap& m = job.map;
  const std::size_t n = static_cast<std::size_t>(m.Uwid) * static_cast<std::size_t>(m.Uhei);
  if (m.Uwid < 0 || m.Uhei < 0 || m.Ucolor.size() != n)
    throw std::out_of_range("map of " + std::to_string(m.Ucolor.size()) +
                            " colours does not match its size " + std::to_string(m.Uwid) + " x " +
                            std::to_string(m.Uhei));
  m.analysedPixels = m.Ucolor;
  // Pixels beyond a colour the palette cannot take keep index 0: every index stays valid.
  m.Uindex.assign(n, 0);
  job.report.RefreshDisplay();

  PaletteLookup lookup(job);
  const UsermapPalette& palette = job.materials.palette;
  int conductors = 0;
  bool full = false;
  for (std::size_t i = 0; i < n; ++i) {
    int index = lookup(m.Ucolor[i]);
    if (index == kPaletteFull) {
      full = true;
      break;
    }
    m.Uindex[i] = static_cast<std::uint8_t>(index);
    if (palette.entries[static_cast<std::size_t>(index)].kind < KindInsul) ++conductors;
  }
  m.condCount = conductors;
  m.conductorPixelsUnrestricted = conductors;

  // The skin-depth restriction paints no-current metal into the conductors, a colour the map
  // may not have: with 256 colours of its own there is no palette entry left for it, and the
  // restricted pixels would have no index.
  const bool noRoom = !full && job.inputs.restrict && !PaletteCanHold(palette, NoCurrentMetalColor);
  if (full || noRoom) {
    std::string text = "More than 255 colors found";
    if (noRoom)
      text +=
          ": the map has 256 colors, and \"Restrict to skin depth\" needs one more for "
          "no-current metal. Switch it off or use fewer colors.";
    // Most such pictures are drawn with smoothed edges, whose blends snapping takes back.
    text +=
        "\nAn anti-aliased drawing loads with --snap (zolva-batch) or the \"Snap colours\" "
        "check box on the materials tab.";
    Fail(job.failure, FailureKind::Input, text, "zolva");
    // The solve checks refuse the map while this is set.
    job.state.mapUnusable = true;
    return false;
  }
  job.state.mapUnusable = false;
  RestrictToSkinDepth(job);
  return true;
}

void FillPaletteProperties(const GeometryJob& job) {
  MaterialTables& mt = job.materials;
  PixelMap& m = job.map;
  // The restriction paints "no-current metal"; it needs a palette entry and a record.
  if (job.inputs.restrict) FindPaletteIndex(job.materials, NoCurrentMetalColor);

  const int count = mt.palette.count;
  mt.recs.assign(static_cast<std::size_t>(count), MaterialRec{});
  for (int i = count - 1; i >= 0; --i) {
    const PaletteEntry& entry = mt.palette.entries.at(static_cast<std::size_t>(i));
    MaterialRec& rec = mt.recs[static_cast<std::size_t>(i)];
    // A colour without a definition keeps the vacuum values of a fresh record.
    if (entry.tableIndex != kNoTableEntry && entry.tableIndex < mt.table.count) {
      const ColorDefinition& def = mt.table.entries.at(entry.tableIndex);
      rec.Resistivity = def.Resistivity;
      rec.Permittivity = def.Permittivity;
      rec.TanDelta = def.TanDelta;
      rec.Permeability = def.Permeability;
    }
  }
  mt.paletteReady = true;

  // Counted by colour, not by Uindex: a generated map has no palette index, and a map that
  // overflowed the palette has colours without an entry, which count nowhere.
  m.pixelCounts.assign(kPaletteCapacity, 0);
  std::unordered_map<std::uint32_t, int> indexOf;
  for (int i = count - 1; i >= 0; --i)
    indexOf[mt.palette.entries[static_cast<std::size_t>(i)].color] = i;
  std::uint32_t lastColor = 0;
  int lastIndex = -2;
  for (std::uint32_t c : m.Ucolor) {
    if (lastIndex == -2 || c != lastColor) {
      auto found = indexOf.find(c);
      lastIndex = found == indexOf.end() ? -1 : found->second;
      lastColor = c;
    }
    if (lastIndex >= 0) ++m.pixelCounts[static_cast<std::size_t>(lastIndex)];
  }

  // The background is the most frequent insulator; among equal counts the highest index.
  int chosen = 0;
  int best = 0;
  for (int i = count - 1; i >= 0; --i) {
    if (mt.palette.entries[static_cast<std::size_t>(i)].kind != KindInsul) continue;
    int n = m.pixelCounts[static_cast<std::size_t>(i)];
    if (n > best) {
      best = n;
      chosen = i;
    }
  }
  if (job.state.geometryKind == GeomUsermap)
    m.backgroundColor = count > 0 ? mt.palette.entries[static_cast<std::size_t>(chosen)].color : 0u;

  m.unknownColours = 0;
  m.unknownPixels = 0;
  for (int i = 0; i < count; ++i) {
    const PaletteEntry& entry = mt.palette.entries[static_cast<std::size_t>(i)];
    if (entry.tableIndex != kNoTableEntry && entry.tableIndex < mt.table.count) continue;
    const int pixels = m.pixelCounts[static_cast<std::size_t>(i)];
    if (pixels == 0) continue;
    ++m.unknownColours;
    m.unknownPixels += pixels;
  }
}

void ClearPaletteProperties(const GeometryJob& job) {
  job.materials.recs.clear();
  job.materials.paletteReady = false;
}

void RebuildUsermap(const GeometryJob& job) {
  RescaleMap(job);
  AnalyseColours(job);
  job.report.RefreshDisplay();
  job.report.ShowTab(TabMaterials);
}

}  // namespace zolva
