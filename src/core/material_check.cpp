#include "core/material_check.h"

#include <cmath>
#include <cstddef>

#include "core/materials.h"
#include "core/utility.h"

namespace zolva {

namespace {

struct Values {
  double permittivity = 1.0;
  double tanDelta = 0.0;
  double permeability = 1.0;
};

// The values the solvers will read for palette entry i: its material record once the palette's
// records are filled, else its colour table entry, else the defaults of an undefined colour.
Values ValuesOf(const MaterialTables& m, int i, std::string& name) {
  const PaletteEntry& entry = m.palette.entries[static_cast<std::size_t>(i)];
  const ColorDefinition* def =
      entry.tableIndex < kColorTableCapacity ? &m.table.entries[entry.tableIndex] : nullptr;
  if (def) name = def->name;
  Values v;
  if (m.paletteReady && static_cast<std::size_t>(i) < m.recs.size()) {
    const MaterialRec& r = m.recs[static_cast<std::size_t>(i)];
    v = {r.Permittivity, r.TanDelta, r.Permeability};
  } else if (def) {
    v = {def->Permittivity, def->TanDelta, def->Permeability};
  }
  return v;
}

std::string ColourText(std::uint32_t color, const std::string& name) {
  std::string text = "the color " + IntText(color & 0xFF) + ", " + IntText((color >> 8) & 0xFF) +
                     ", " + IntText((color >> 16) & 0xFF);
  if (!name.empty()) text += " (" + name + ")";
  return text;
}

std::string ValueText(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "infinity" : "-infinity";
  return CompactText(x);
}

}  // namespace

std::string NonPhysicalMaterialText(const MaterialTables& materials) {
  const int count = materials.palette.count < 0                  ? 0
                    : materials.palette.count > kPaletteCapacity ? kPaletteCapacity
                                                                 : materials.palette.count;
  for (int i = 0; i < count; ++i) {
    std::string name;
    const Values v = ValuesOf(materials, i, name);
    const bool insulator = materials.palette.entries[static_cast<std::size_t>(i)].kind == KindInsul;
    const char* what = nullptr;
    double value = 0.0;
    if (insulator && !(v.permittivity > 0.0 && std::isfinite(v.permittivity))) {
      what = "permittivity";
      value = v.permittivity;
    } else if (insulator && !(v.tanDelta >= 0.0 && std::isfinite(v.tanDelta))) {
      what = "loss tangent";
      value = v.tanDelta;
    } else if (!(v.permeability > 0.0 && std::isfinite(v.permeability))) {
      what = "permeability";
      value = v.permeability;
    }
    if (what) {
      return "Material values out of range: " +
             ColourText(materials.palette.entries[static_cast<std::size_t>(i)].color, name) +
             " has " + what + " " + ValueText(value) + ".";
    }
  }
  return {};
}

}  // namespace zolva
