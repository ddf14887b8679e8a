// The materials tab's edits of the selected colour: its kind, and the material values that
// belong to that kind.
#include "program/material_edits.h"

#include <cstddef>

#include "program/context.h"
#include "program/control_panel.h"

namespace zolva {

namespace {

bool ShowingStandardColors(const Context& ctx) {
  return ctx.panel.checks[CheckBoxShowStandardColors];
}

// The kind of the selected colour, or nullptr when the selection names no entry of the chart's
// source.
MaterialKind* SelectedKind(Context& ctx) {
  MaterialTables& m = ctx.materials;
  int s = m.SelectedColor;
  if (ShowingStandardColors(ctx)) {
    if (s < 0 || s >= m.table.count) return nullptr;
    return &m.table.entries[static_cast<std::size_t>(s)].kind;
  }
  if (s < 0 || s >= m.palette.count) return nullptr;
  return &m.palette.entries[static_cast<std::size_t>(s)].kind;
}

// The material record of the selected palette colour, when it has one.
MaterialRec* SelectedRec(Context& ctx) {
  MaterialTables& m = ctx.materials;
  int s = m.SelectedColor;
  if (s < 0 || s >= m.palette.count || static_cast<std::size_t>(s) >= m.recs.size()) return nullptr;
  return &m.recs[static_cast<std::size_t>(s)];
}

}  // namespace

void SetKind(Context& ctx, MaterialKind kind) {
  MaterialKind* selected = SelectedKind(ctx);
  if (selected == nullptr) return;
  *selected = kind;
  ctx.state.setupChanged = true;
  if (!ctx.panel.materialsBusy) DrawMaterials(ctx);
}

// Permittivity and loss tangent mean something only for an insulator, resistivity only for a
// conductor; a write that does not fit the selected colour's current kind is ignored, so that the
// empty field of the other kind can never overwrite a value.
void SetProperties(Context& ctx, double Permittivity, double TanDelta) {
  MaterialKind* selected = SelectedKind(ctx);
  if (selected == nullptr || *selected != KindInsul) return;
  if (ShowingStandardColors(ctx)) {
    ColorDefinition& entry =
        ctx.materials.table.entries[static_cast<std::size_t>(ctx.materials.SelectedColor)];
    entry.Permittivity = Permittivity;
    entry.TanDelta = TanDelta;
  } else if (MaterialRec* rec = SelectedRec(ctx)) {
    rec->Permittivity = Permittivity;
    rec->TanDelta = TanDelta;
  }
}

void SetResistivity(Context& ctx, double Resistivity) {
  MaterialKind* selected = SelectedKind(ctx);
  if (selected == nullptr || *selected == KindInsul) return;
  if (ShowingStandardColors(ctx)) {
    ctx.materials.table.entries[static_cast<std::size_t>(ctx.materials.SelectedColor)].Resistivity =
        Resistivity;
  } else if (MaterialRec* rec = SelectedRec(ctx)) {
    rec->Resistivity = Resistivity;
  }
}

}  // namespace zolva
