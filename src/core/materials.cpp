// The colour vocabulary: built-in metals and dielectrics and the palette of the current map.
#include "core/materials.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "core/reporter.h"

namespace zolva {

namespace {

constexpr std::size_t kMaxNameLength = 32;

// The metals carry one colour per conductor kind: reddish for +1 volt, greenish for 0 volt,
// bluish for -1 volt and cyan-ish for a floating body. Resistivities are single-precision values
// widened to double, so that they match the tables other tools built from the same data.
struct BuiltInMetal {
  const char* name;
  float resistivity;        // micro-ohm centimetres
  std::uint32_t colors[4];  // +1, 0, -1, floating
};

constexpr BuiltInMetal kMetals[] = {
    {"copper",
     1.7241379f,
     {PackColor(255, 0, 0), PackColor(0, 255, 0), PackColor(0, 0, 255), PackColor(0, 255, 255)}},
    {"aluminum",
     2.62f,
     {PackColor(224, 31, 31), PackColor(31, 224, 31), PackColor(31, 31, 224),
      PackColor(31, 224, 224)}},
    {"silver",
     1.62f,
     {PackColor(224, 31, 0), PackColor(31, 224, 0), PackColor(31, 0, 224),
      PackColor(31, 255, 224)}},
    {"gold",
     2.44f,
     {PackColor(224, 0, 31), PackColor(0, 224, 31), PackColor(0, 31, 224), PackColor(0, 224, 224)}},
    {"steel",
     9.71f,
     {PackColor(224, 63, 63), PackColor(63, 224, 63), PackColor(63, 63, 224),
      PackColor(63, 224, 224)}},
    {"tin",
     11.4f,
     {PackColor(224, 0, 63), PackColor(0, 224, 63), PackColor(0, 63, 224), PackColor(0, 255, 224)}},
    {"60/40 PbSn solder",
     14.5f,
     {PackColor(224, 63, 0), PackColor(63, 224, 0), PackColor(63, 0, 224),
      PackColor(63, 255, 224)}},
};

constexpr MaterialKind kMetalKinds[4] = {KindPlus, KindGround, KindMinus, KindFloat};

struct BuiltInInsulator {
  const char* name;
  float permittivity;
  float tanDelta;
  std::uint32_t color;
};

constexpr BuiltInInsulator kInsulators[] = {
    {"vacuum", 1.0f, 0.0f, PackColor(0, 0, 0)},
    {"vacuum", 1.0f, 0.0f, PackColor(255, 255, 255)},
    {"air", 1.0006f, 0.0f, PackColor(255, 202, 202)},
    {"teflon", 2.07f, 0.0002f, PackColor(130, 53, 239)},
    {"duroid 5880", 2.2f, 0.0009f, PackColor(142, 142, 142)},
    {"polyethelene", 2.26f, 0.00064f, PackColor(255, 0, 255)},
    {"polystyrene", 2.5f, 0.00033f, PackColor(255, 255, 0)},
    {"polyvinylchloride", 4.5f, 0.011f, PackColor(239, 204, 26)},
    {"epoxy resin", 3.335f, 0.03f, PackColor(188, 127, 96)},
    {"FR4 PCB", 3.7f, 0.018f, PackColor(223, 247, 136)},
    {"fiberglass/epoxy PCB", 4.8f, 0.018f, PackColor(26, 239, 179)},
    {"duroid 6006", 6.15f, 0.0027f, PackColor(105, 105, 105)},
    {"duroid 6010", 10.2f, 0.0023f, PackColor(220, 220, 220)},
    {"Er=100", 100.0f, 0.0f, PackColor(213, 160, 77)},
    {"distilled water", 75.0f, 0.157f, PackColor(100, 200, 255)},
    {"quartz", 3.78f, 0.00006f, PackColor(176, 224, 200)},
    {"glass", 5.0f, 0.0054f, PackColor(153, 255, 153)},
};

// pi times the permeability of free space, in henries per metre.
constexpr double kPiMu0 = 3.947841760435743e-6;
constexpr double kTwoPi = 6.28318530717958647692;

}  // namespace

int FindTableIndex(const ColorTable& table, std::uint32_t color) {
  for (int i = 0; i < table.count; ++i)
    if (table.entries[static_cast<std::size_t>(i)].color == color) return i;
  return -1;
}

bool RegisterColor(MaterialTables& materials, Reporter& report, std::uint32_t color,
                   MaterialKind kind, double Resistivity, double Permittivity, double TanDelta,
                   double Permeability, const std::string& name) {
  ColorTable& table = materials.table;
  int index = FindTableIndex(table, color);
  if (index < 0) {
    if (table.count >= kColorTableCapacity) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "The color %u, %u, %u (%.32s) cannot be added: the color table holds at most "
                    "%d colors.",
                    color & 0xFFu, (color >> 8) & 0xFFu, (color >> 16) & 0xFFu, name.c_str(),
                    kColorTableCapacity);
      report.MessageBox(text, "zolva", ButtonsOk);
      return false;
    }
    index = table.count++;
    table.entries[static_cast<std::size_t>(index)] = ColorDefinition{};
  }
  ColorDefinition& entry = table.entries[static_cast<std::size_t>(index)];
  entry.color = color;
  entry.kind = kind;
  entry.Resistivity = Resistivity;
  entry.Permittivity = Permittivity;
  entry.TanDelta = TanDelta;
  entry.Permeability = Permeability;
  // A redefinition without a name keeps the name the colour already has.
  if (!name.empty()) entry.name = name.substr(0, kMaxNameLength);
  return true;
}

void InitMaterialTables(MaterialTables& materials, Reporter& report,
                        const std::string& programFolder) {
  materials.table = ColorTable{};
  for (const BuiltInMetal& metal : kMetals)
    for (int k = 0; k < 4; ++k)
      RegisterColor(materials, report, metal.colors[k], kMetalKinds[k],
                    static_cast<double>(metal.resistivity), 1.0, 0.0, 1.0, metal.name);
  for (const BuiltInInsulator& insulator : kInsulators)
    RegisterColor(materials, report, insulator.color, KindInsul, 0.0,
                  static_cast<double>(insulator.permittivity),
                  static_cast<double>(insulator.tanDelta), 1.0, insulator.name);
  // Painted inside conductors below their current-carrying layer: an insulator of permittivity 1
  // carries no current, and lying inside metal it does not disturb the electric field.
  RegisterColor(materials, report, NoCurrentMetalColor, KindInsul, 0.0, 1.0, 0.0, 1.0,
                "no-current metal");
  LoadMoreColorsFile(materials, report, programFolder + "MoreColors.txt");
}

int FindPaletteIndex(MaterialTables& materials, std::uint32_t color) {
  UsermapPalette& palette = materials.palette;
  for (int i = 0; i < palette.count; ++i)
    if (palette.entries[static_cast<std::size_t>(i)].color == color) return i;
  if (palette.count >= kPaletteCapacity) return kPaletteFull;
  PaletteEntry& entry = palette.entries[static_cast<std::size_t>(palette.count)];
  entry.color = color;
  int t = FindTableIndex(materials.table, color);
  if (t >= 0) {
    entry.tableIndex = static_cast<std::uint16_t>(t);
    entry.kind = materials.table.entries[static_cast<std::size_t>(t)].kind;
  } else {
    entry.tableIndex = kNoTableEntry;
    entry.kind = KindInsul;
  }
  return palette.count++;
}

bool PaletteCanHold(const UsermapPalette& palette, std::uint32_t color) {
  if (palette.count < kPaletteCapacity) return true;
  for (int i = 0; i < kPaletteCapacity; ++i)
    if (palette.entries[static_cast<std::size_t>(i)].color == color) return true;
  return false;
}

double SkinDepthMetres(MaterialTables& m, double omega, std::uint32_t color) {
  int p = FindPaletteIndex(m, color);
  double rho = 0.0;
  double mur = 1.0;
  if (m.paletteReady && p >= 0 && static_cast<std::size_t>(p) < m.recs.size()) {
    rho = m.recs[static_cast<std::size_t>(p)].Resistivity;
    mur = m.recs[static_cast<std::size_t>(p)].Permeability;
  } else {
    // A colour the material records do not cover yet gets the values FillPaletteProperties will
    // give it: its table entry's resistivity, or none.
    int t = FindTableIndex(m.table, color);
    if (t >= 0) rho = m.table.entries[static_cast<std::size_t>(t)].Resistivity;
  }
  double f = omega / kTwoPi;
  // At zero frequency (or with a meaningless permeability) the current fills the whole conductor:
  // the skin depth is unbounded.
  if (!(f > 0.0) || !(mur > 0.0)) return std::numeric_limits<double>::infinity();
  if (!(rho > 0.0)) return 0.0;
  return std::sqrt(rho * 1e-8 / (kPiMu0 * mur * f));
}

}  // namespace zolva
