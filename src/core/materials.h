// Colours and what they stand for: the table of colour definitions (built in and from
// "MoreColors.txt"), the palette of the current map, and one material record per palette colour.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zolva {

class Reporter;

using MaterialKind = std::int8_t;
inline constexpr MaterialKind KindPlus = 1;
inline constexpr MaterialKind KindGround = 0;
inline constexpr MaterialKind KindMinus = -1;
inline constexpr MaterialKind KindFloat = 2;
inline constexpr MaterialKind KindInsul = 6;
// The solvers add 8 to the kind of an insulator pixel inside a field region (Ukind).
inline constexpr MaterialKind KindInsulInField = KindInsul + 2;

// Packed colour R + 256 G + 65536 B.
constexpr std::uint32_t PackColor(int r, int g, int b) {
  return static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
         (static_cast<std::uint32_t>(b) << 16);
}
inline constexpr std::uint32_t NoCurrentMetalColor = 0x171819;

inline constexpr int kColorTableCapacity = 500;
inline constexpr int kPaletteCapacity = 256;
inline constexpr std::uint16_t kNoTableEntry = 0xFFFF;
// FindPaletteIndex's answer when the colour is new and the palette already holds 256 colours.
inline constexpr int kPaletteFull = -1;

// The field strength at which air breaks down, megavolts per metre: the dielectric strength of
// every colour that "MoreColors.txt" gives no other.
inline constexpr double kAirDielectricStrength = 3.0;

struct ColorDefinition {
  std::uint32_t color = 0;
  MaterialKind kind = KindInsul;
  double Resistivity = 0.0;  // micro-ohm centimetres
  double Permeability = 1.0;
  double Permittivity = 1.0;
  double TanDelta = 0.0;
  double DielectricStrength = kAirDielectricStrength;  // MV/m
  std::string name;                                    // at most 32 characters
};

struct ColorTable {
  std::array<ColorDefinition, kColorTableCapacity> entries;
  int count = 0;
};

struct PaletteEntry {
  std::uint32_t color = 0;
  std::uint16_t tableIndex = kNoTableEntry;
  MaterialKind kind = KindInsul;
};

struct UsermapPalette {
  std::array<PaletteEntry, kPaletteCapacity> entries;
  int count = 0;
};

struct MaterialRec {
  double Resistivity = 0.0;
  double Permittivity = 1.0;
  double TanDelta = 0.0;
  double Permeability = 1.0;
  double MatVoltage = 0.0;
  double MatFix = 0.0;
  // Resistance per metre of one square pixel of this metal under the skin effect, by depth row
  // (1..32) and surface letter (A..F): element 6 (row - 1) + (letter - 'A'). The values are real;
  // the pixel model has no reactive self term.
  std::array<double, 192> Rpixel{};
  int SkinDepth = 0;  // current-carrying depth in pixels
};

struct MaterialTables {
  ColorTable table;
  UsermapPalette palette;
  std::vector<MaterialRec> recs;  // one per palette entry while paletteReady
  bool paletteReady = false;
  int SelectedColor = 0;
};

// The built-in colours, then the definitions of "MoreColors.txt" in the program folder.
void InitMaterialTables(MaterialTables& materials, Reporter& report,
                        const std::string& programFolder);
// Returns false (after a message) when the table is full.
bool RegisterColor(MaterialTables& materials, Reporter& report, std::uint32_t color,
                   MaterialKind kind, double Resistivity, double Permittivity, double TanDelta,
                   double Permeability, const std::string& name);
// Palette index of the colour, appended when new; kPaletteFull when the palette is full.
int FindPaletteIndex(MaterialTables& materials, std::uint32_t color);
// True when the palette holds the colour or can still take it.
bool PaletteCanHold(const UsermapPalette& palette, std::uint32_t color);
// Skin depth of the colour's metal at angular frequency omega; the colour joins the palette.
double SkinDepthMetres(MaterialTables& materials, double omega, std::uint32_t color);
// Index of the first table entry whose colour matches, or -1.
int FindTableIndex(const ColorTable& table, std::uint32_t color);

// One line of "MoreColors.txt" as read: a blank or comment-only line is Empty, a line with a
// missing or unconvertible word is Bad, anything else a Good colour definition.
struct MoreColorsLine {
  enum class Status { Empty, Good, Bad };
  Status status = Status::Empty;
  std::uint32_t color = 0;
  MaterialKind kind = KindInsul;
  double Resistivity = 0.0;
  double Permittivity = 1.0;
  double TanDelta = 0.0;
  double Permeability = 1.0;
  // MV/m: an optional ninth number, before the name; without it, that of air.
  double DielectricStrength = kAirDielectricStrength;
  std::string name;     // not yet cut to 32 characters; RegisterColor does that
  std::string problem;  // of a Bad line: which field is missing or wrong, and its word
};
// A value no material has (a negative resistivity or loss tangent, a permittivity or permeability
// not above 0) makes the line Bad, as a word that does not convert does.
MoreColorsLine ParseMoreColorsLine(std::string_view line);
// Reads colour definitions from the named file ("MoreColors.txt" of the program folder at start).
void LoadMoreColorsFile(MaterialTables& materials, Reporter& report, const std::string& path);

}  // namespace zolva
