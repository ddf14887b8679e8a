// The materials page: a chart of up to 70 colours of the palette (or of the colour table), and
// the fields that show and edit the material of the selected colour.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/materials.h"
#include "core/utility.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/material_edits.h"
#include "program/reporting.h"

namespace zolva {
namespace {

constexpr int kChartRows = 5;
constexpr int kChartColumns = kChartCells / kChartRows;
constexpr int kCellPitch = 20;
// A resistivity this small counts as a perfect conductor: its conductivity is shown as infinite.
constexpr double kPerfectConductor = 1e-20;

// The material of one chart entry as the page shows it.
struct ShownMaterial {
  std::uint32_t color = 0;
  MaterialKind kind = KindInsul;
  double Resistivity = 0.0;
  double Permittivity = 1.0;
  double TanDelta = 0.0;
  std::string name;
};

// Number of entries of the chart's source, never more than the source can hold.
int SourceCount(const Context& ctx, bool fromTable) {
  const MaterialTables& mt = ctx.materials;
  if (fromTable) return std::clamp(mt.table.count, 0, kColorTableCapacity);
  return std::clamp(mt.palette.count, 0, kPaletteCapacity);
}

// The entry `index` of the chart's source; index must be below SourceCount.
ShownMaterial EntryMaterial(const Context& ctx, bool fromTable, int index) {
  const MaterialTables& mt = ctx.materials;
  ShownMaterial shown;
  if (fromTable) {
    const ColorDefinition& def = mt.table.entries.at(index);
    shown = {def.color, def.kind, def.Resistivity, def.Permittivity, def.TanDelta, def.name};
    return shown;
  }
  const PaletteEntry& entry = mt.palette.entries.at(index);
  const bool known = entry.tableIndex != kNoTableEntry && entry.tableIndex < mt.table.count;
  shown.color = entry.color;
  shown.kind = entry.kind;
  shown.name =
      known ? mt.table.entries.at(entry.tableIndex).name : "unnamed " + std::to_string(index);
  if (static_cast<std::size_t>(index) < mt.recs.size()) {
    const MaterialRec& rec = mt.recs[index];
    shown.Resistivity = rec.Resistivity;
    shown.Permittivity = rec.Permittivity;
    shown.TanDelta = rec.TanDelta;
  } else if (known) {
    // The records are filled only once the palette is complete; until then the colour's
    // definition holds the same values they will take.
    const ColorDefinition& def = mt.table.entries.at(entry.tableIndex);
    shown.Resistivity = def.Resistivity;
    shown.Permittivity = def.Permittivity;
    shown.TanDelta = def.TanDelta;
  }
  return shown;
}

void SetEdit(PanelModel& panel, EditBox control, std::string text, bool enabled) {
  panel.edits[control].text = std::move(text);
  panel.edits[control].enabled = enabled;
}

std::string HexColor(std::uint32_t color) {
  char text[8];
  std::snprintf(text, sizeof text, "x%02X%02X%02X", static_cast<unsigned>((color >> 16) & 255),
                static_cast<unsigned>((color >> 8) & 255), static_cast<unsigned>(color & 255));
  return text;
}

std::string Trimmed(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsInfinityText(const std::string& text) {
  std::string t = Trimmed(text);
  for (char& c : t) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return t == "infinity";
}

void Refuse(Context& ctx, const char* what, const std::string& text) {
  ShowStatus(ctx, std::string("Not a valid ") + what + ": \"" + Trimmed(text) + "\"");
}

// Keeps the busy flag raised for the drawing, also when the drawing is left by an exception.
class BusyScope {
 public:
  explicit BusyScope(PanelModel& panel) : panel_(panel) { panel_.materialsBusy = true; }
  ~BusyScope() { panel_.materialsBusy = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  PanelModel& panel_;
};

}  // namespace

void DrawMaterials(Context& ctx) {
  PanelModel& panel = ctx.panel;
  BusyScope busy(panel);
  const bool fromTable = panel.checks[CheckBoxShowStandardColors];
  const int count = SourceCount(ctx, fromTable);

  MaterialsPage page;
  page.fromTable = fromTable;
  for (int i = 0; i < kChartColumns; ++i) {
    for (int j = 0; j < kChartRows; ++j) {
      const int k = kChartRows * i + j;
      if (k >= count) continue;
      const int left = kCellPitch * i + 5;
      const int top = kCellPitch * j + 3;
      page.cells.push_back(
          {left, top, left + 15, top + 15, EntryMaterial(ctx, fromTable, k).color});
    }
  }

  const int selected = ctx.materials.SelectedColor;
  page.hasSelection = selected >= 0 && selected < count;
  panel.labels[LabelRhoSymbol] = panel.showSigma ? "σ" : "ρ";
  if (page.hasSelection) {
    const ShownMaterial m = EntryMaterial(ctx, fromTable, selected);
    page.swatchColor = m.color;
    page.ownerColor = m.color;
    page.litKind = m.kind;
    SetEdit(panel, EditBoxMu, "", false);
    if (m.kind == KindInsul) {
      SetEdit(panel, EditBoxRho, "", false);
      SetEdit(panel, EditBoxEpsilon, Str(m.Permittivity, 6, 3), true);
      SetEdit(panel, EditBoxTd, Str(m.TanDelta, 13, 10), true);
    } else {
      SetEdit(panel, EditBoxEpsilon, "", false);
      SetEdit(panel, EditBoxTd, "", false);
      std::string rho;
      if (!panel.showSigma) {
        rho = Str(m.Resistivity, 7, 4);
      } else if (std::abs(m.Resistivity) <= kPerfectConductor) {
        rho = "infinity";
      } else {
        rho = Str(1.0 / m.Resistivity, 7, 5);
      }
      SetEdit(panel, EditBoxRho, rho, true);
    }
    panel.labels[LabelMaterialName] = m.name.substr(0, kMaxLabelText);
    panel.labels[LabelRed] = std::to_string(m.color & 255);
    panel.labels[LabelGreen] = std::to_string((m.color >> 8) & 255);
    panel.labels[LabelBlue] = std::to_string((m.color >> 16) & 255);
    panel.labels[LabelHexColor] = HexColor(m.color);
  } else {
    for (EditBox field : {EditBoxRho, EditBoxEpsilon, EditBoxTd, EditBoxMu}) {
      SetEdit(panel, field, "", false);
    }
    for (PanelLabel label : {LabelMaterialName, LabelRed, LabelGreen, LabelBlue, LabelHexColor}) {
      panel.labels[label].clear();
    }
  }
  panel.materialsPage = std::move(page);
  panel.fieldsOwner = selected;
}

bool CommitMaterialsFields(Context& ctx) {
  PanelModel& panel = ctx.panel;
  MaterialsPage& page = panel.materialsPage;
  if (panel.materialsBusy) return false;
  const bool rhoEdited = page.rhoEdited;
  const bool epsilonEdited = page.epsilonEdited;
  const bool tdEdited = page.tdEdited;
  if (!rhoEdited && !epsilonEdited && !tdEdited) return false;
  page.rhoEdited = page.epsilonEdited = page.tdEdited = false;

  // The texts belong to the entry they were drawn for. When the chart has changed under them
  // since (another source, another map), there is no colour left to write them to.
  const bool fromTable = panel.checks[CheckBoxShowStandardColors];
  const int selected = ctx.materials.SelectedColor;
  if (!page.hasSelection || panel.fieldsOwner != selected || page.fromTable != fromTable ||
      selected < 0 || selected >= SourceCount(ctx, fromTable)) {
    return true;
  }
  const ShownMaterial m = EntryMaterial(ctx, fromTable, selected);
  if (m.color != page.ownerColor) return true;

  if (m.kind == KindInsul) {
    double permittivity = m.Permittivity;
    double tanDelta = m.TanDelta;
    bool changed = false;
    if (epsilonEdited) {
      const std::string& text = panel.edits[EditBoxEpsilon].text;
      const double value = ReadRealField(text);
      if (value > 0.0) {
        permittivity = value;
        changed = true;
      } else {
        Refuse(ctx, "permittivity", text);
      }
    }
    if (tdEdited) {
      const std::string& text = panel.edits[EditBoxTd].text;
      const double value = ReadRealField(text);
      if (value >= 0.0) {
        tanDelta = value;
        changed = true;
      } else {
        Refuse(ctx, "loss tangent", text);
      }
    }
    if (changed) SetProperties(ctx, permittivity, tanDelta);
  } else if (rhoEdited) {
    const std::string& text = panel.edits[EditBoxRho].text;
    if (panel.showSigma) {
      // Conductivity 1/rho; "infinity" stands for a perfect conductor.
      const double sigma = ReadRealField(text);
      if (IsInfinityText(text)) {
        SetResistivity(ctx, 0.0);
      } else if (sigma > 0.0 && std::isfinite(1.0 / sigma)) {
        SetResistivity(ctx, 1.0 / sigma);
      } else {
        Refuse(ctx, "conductivity", text);
      }
    } else {
      const double rho = ReadRealField(text);
      if (rho >= 0.0) {
        SetResistivity(ctx, rho);
      } else {
        Refuse(ctx, "resistivity", text);
      }
    }
  }
  return true;
}

void PickColor(Context& ctx, int x, int y) {
  CommitMaterialsFields(ctx);
  // Only clicks inside the chart pick; a cell number beyond the 70 shown ones changes nothing.
  if (x >= 0 && x < kChartWidth && y >= 0 && y < kChartHeight) {
    const int column = (x - 4) / kCellPitch;
    const int row = (y - 2) / kCellPitch;
    const int cell = column * kChartRows + row;
    if (cell < kChartCells) ctx.materials.SelectedColor = cell;
  }
  DrawMaterials(ctx);
}

void ShowStandardColors(Context& ctx, bool on) {
  CommitMaterialsFields(ctx);
  ctx.panel.checks[CheckBoxShowStandardColors] = on;
  ctx.materials.SelectedColor = 0;
  DrawMaterials(ctx);
}

void ToggleRhoSigma(Context& ctx) {
  // A value typed in one mode must be read in that mode, before the field changes meaning.
  CommitMaterialsFields(ctx);
  ctx.panel.showSigma = !ctx.panel.showSigma;
  DrawMaterials(ctx);
}

}  // namespace zolva
