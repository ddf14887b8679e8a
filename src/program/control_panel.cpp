// The control panel's fields, check boxes, tabs, labels and buttons as operations on the program
// state. Every text field is re-read as soon as its text changes, so the program state always
// holds what the panel shows.
#include "program/control_panel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "core/materials.h"
#include "core/utility.h"
#include "program/context.h"
#include "program/reporting.h"
#include "program/services.h"

namespace zolva {
namespace {

constexpr std::size_t kMaxFieldText = 255;
constexpr std::size_t kMaxRunName = 32;
// The display mode "V field lines" and the field-line density the display starts with.
constexpr DisplayMode kStartDisplayMode = DisplayVLines;
constexpr int kStartFieldLineDensity = 4;

void CheckControl(EditBox control) {
  if (control < 0 || control >= kEditBoxCount) {
    throw std::out_of_range("edit box index " + std::to_string(static_cast<int>(control)));
  }
}

void CheckControl(CheckBox control) {
  if (control < 0 || control >= kCheckBoxCount) {
    throw std::out_of_range("check box index " + std::to_string(static_cast<int>(control)));
  }
}

bool IsMaterialsField(EditBox control) {
  return control == EditBoxRho || control == EditBoxEpsilon || control == EditBoxTd ||
         control == EditBoxMu;
}

// Fields whose value shapes the generated map. The frequency belongs here too: it sets the
// skin depth of the current-carrying layer and the omega taken at every rebuild, so a map left
// standing after a change of frequency would be solved at the old one.
bool IsGeometryField(EditBox control) {
  return (control >= EditBoxWireSeparation && control <= EditBoxSideDistance) ||
         control == EditBoxTotalConductorPixels || control == EditBoxFrequency;
}

// "Short ground plane" and "Half ground plane" are only stored; "Build coil" asks for a rebuild.
bool IsGeometryCheckBox(CheckBox control) {
  switch (control) {
    case CheckBoxRestrict:
    case CheckBoxOneWire:
    case CheckboxAddGroundedWire:
    case CheckBoxAddFloatingWire:
    case CheckBoxAddTopPlane:
    case CheckBoxAddBottomPlane:
    case CheckBoxAddSidePlanes:
    case CheckBoxInsulationVertical:
    case CheckBoxInsulationHorizontal:
    case CheckBoxAirDielectric:
    case CheckBoxBuildCoil:
      return true;
    default:
      return false;
  }
}

// Re-reads the value of one field from its text into the program state.
void ReadField(Context& ctx, EditBox control) {
  PanelModel& panel = ctx.panel;
  const std::string& text = panel.edits[control].text;
  switch (control) {
    case EditBoxName:
      panel.runName = text.substr(0, kMaxRunName);
      break;
    case EditBoxWireSeparation:
      panel.wireSeparation = ReadLength(text);
      break;
    case EditBoxWireDiameter:
      panel.wireDiameter = ReadLength(text);
      break;
    case EditBoxInsulationDiameter:
      panel.insulationDiameter = ReadLength(text);
      break;
    case EditBoxWireWidth:
      panel.wireWidth = ReadLength(text);
      break;
    case EditBoxWireHeight:
      panel.wireHeight = ReadLength(text);
      break;
    case EditBoxCenterConductorDia:
      panel.centerConductorDia = ReadLength(text);
      break;
    case EditBoxShieldInnerDia:
      panel.shieldInnerDia = ReadLength(text);
      break;
    case EditBoxShieldOuterDia:
      panel.shieldOuterDia = ReadLength(text);
      break;
    case EditBoxVerticalSkew:
      panel.verticalSkew = ReadLength(text);
      break;
    case EditBoxTopDistance:
      panel.topDistance = ReadLength(text);
      break;
    case EditBoxBottomDistance:
      panel.bottomDistance = ReadLength(text);
      break;
    case EditBoxSideDistance:
      panel.sideDistance = ReadLength(text);
      break;
    case EditBoxPixelWidth:
      ctx.state.requestedPixelWidth = ReadLength(text);
      break;
    case EditBoxTotalConductorPixels:
      panel.totalConductorPixels = ReadIntegerField(text);
      break;
    case EditBoxFrequency:
      ctx.state.frequencyMHz = ReadRealField(text);
      // An inductance and skin resistance solved at another frequency no longer apply.
      ctx.results.L = 0.0;
      break;
    default:
      // The materials fields are written to their colour when they are left (see
      // CommitMaterialsFields); the permeability field is never edited.
      break;
  }
}

std::string ThreadLabel(int n) {
  return " - " + std::to_string(n) + (n == 1 ? " thread" : " threads");
}

struct FieldDefault {
  EditBox control;
  const char* text;
};

constexpr FieldDefault kFieldDefaults[] = {
    {EditBoxName, "Default"},
    {EditBoxWireSeparation, "0.2"},
    {EditBoxWireDiameter, "0.05"},
    {EditBoxInsulationDiameter, "0.0"},
    {EditBoxWireWidth, "0.06"},
    {EditBoxWireHeight, "0.02"},
    {EditBoxCenterConductorDia, "0.2"},
    {EditBoxShieldInnerDia, "0.4"},
    {EditBoxShieldOuterDia, "0.45"},
    {EditBoxVerticalSkew, "0.0"},
    {EditBoxTopDistance, "0.05"},
    {EditBoxBottomDistance, "0.05"},
    {EditBoxSideDistance, "0.2"},
    {EditBoxPixelWidth, ""},
    {EditBoxTotalConductorPixels, "1000"},
    {EditBoxFrequency, "1"},
    {EditBoxRho, "1.7241"},
    {EditBoxEpsilon, "1.00"},
    {EditBoxTd, "0.00"},
    {EditBoxMu, "1.00"},
};

}  // namespace

bool ControlVisible(const PanelModel& panel, EditBox control) {
  switch (control) {
    case EditBoxName:
    case EditBoxPixelWidth:
    case EditBoxTotalConductorPixels:
    case EditBoxFrequency:
      return true;
    case EditBoxWireSeparation:
    case EditBoxTopDistance:
    case EditBoxBottomDistance:
    case EditBoxSideDistance:
      return panel.tab == TabRoundTwinlead || panel.tab == TabSquareTwinlead;
    case EditBoxWireDiameter:
    case EditBoxInsulationDiameter:
      return panel.tab == TabRoundTwinlead;
    case EditBoxWireWidth:
    case EditBoxWireHeight:
      return panel.tab == TabSquareTwinlead;
    case EditBoxCenterConductorDia:
    case EditBoxShieldInnerDia:
    case EditBoxShieldOuterDia:
      return panel.tab == TabCoaxial;
    case EditBoxVerticalSkew:
      return panel.tab == TabRoundTwinlead || panel.tab == TabSquareTwinlead ||
             panel.tab == TabCoaxial;
    case EditBoxRho:
    case EditBoxEpsilon:
    case EditBoxTd:
    case EditBoxMu:
      return panel.tab == TabMaterials;
    default:
      return false;
  }
}

bool ControlVisible(const PanelModel& panel, CheckBox control) {
  const bool twinlead = panel.tab == TabRoundTwinlead || panel.tab == TabSquareTwinlead;
  switch (control) {
    case CheckBoxRestrict:
    case CheckBoxUnending:
    case CheckBoxNoPrediction:
    case CheckBoxVoZero:
    case CheckBoxBuildCoil:
    case CheckBoxEstimateError:
    case CheckBoxClassicRelaxation:
      return true;
    case CheckBoxCoupled:
      // Its place holds the permittivity field on the materials page.
      return panel.tab != TabMaterials;
    case CheckBoxAddTopPlane:
    case CheckBoxAddBottomPlane:
    case CheckBoxAddSidePlanes:
    case CheckBoxInsulationVertical:
    case CheckBoxInsulationHorizontal:
      return twinlead;
    case CheckBoxOneWire:
      return twinlead || panel.tab == TabCoaxial;
    case CheckboxAddGroundedWire:
    case CheckBoxAddFloatingWire:
      return panel.tab == TabRoundTwinlead;
    case CheckBoxShortGroundPlane:
    case CheckBoxHalfGroundPlane:
      return panel.tab == TabSquareTwinlead;
    case CheckBoxAirDielectric:
      return panel.tab == TabCoaxial;
    case CheckBoxShowStandardColors:
    case CheckBoxSnapColours:
      return panel.tab == TabMaterials;
    default:
      return false;
  }
}

std::string OneWireCaption(const PanelModel& panel) {
  return panel.tab == TabCoaxial ? "2 wire" : "1 Wire";
}

void CreatePanel(Context& ctx) {
  ProgramState& state = ctx.state;
  PanelModel& panel = ctx.panel;

  panel.caption = "Control panel    64-bit";
  const int processors = std::clamp(ctx.platform->ProcessorCount(), 1, 64);
  panel.threadMax = processors;
  panel.threadCount = processors;
  SetLabel(ctx, LabelThreads, ThreadLabel(processors));

  state.programFolder = ProgramFolder(ctx);
  state.geometryKind = GeomTwinlead;
  panel.convergence.fill(-1.0);
  panel.capacitanceMode = false;
  state.metresPerInch = kMetresPerInch;
  state.mu0 = kMu0;
  state.copperResistivity = kCopperOhmMetres;
  panel.showSigma = false;

  // The colour tables must exist before any field is read.
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.state.programFolder);

  panel.checks.fill(false);
  panel.checks[CheckBoxRestrict] = true;
  panel.checks[CheckBoxAirDielectric] = true;
  for (const FieldDefault& field : kFieldDefaults) SetField(ctx, field.control, field.text);
  for (EditField& edit : panel.edits) edit.enabled = true;
  panel.edits[EditBoxMu].enabled = false;
  // The materials fields hold design texts until the page is first drawn; they belong to no
  // colour and nothing in them waits to be written back.
  panel.materialsPage = MaterialsPage{};
  panel.fieldsOwner = -1;

  state.setupChanged = true;
  state.switches.Clear();
  ShowSwitches(ctx);
  ctx.display.displayMode = kStartDisplayMode;
  ctx.display.fieldLineDensity = kStartFieldLineDensity;
  state.startTime = ctx.platform->Now();
  state.tickGuard = 0;
  state.minimized = false;

  panel.tab = TabRoundTwinlead;
  panel.totalPixelsEnabled = true;
  LayoutPanel(ctx);
  panel.visible = true;
  panel.enabled = true;
  state.errorCaption = "zolva stop";

  // Only now may the control loop, zoom and rescale act: everything they read exists.
  state.ready = true;
}

void LayoutPanel(Context& ctx) {
  PanelModel& panel = ctx.panel;
  for (int i = 0; i < kEditBoxCount; ++i) {
    panel.edits[i].visible = ControlVisible(panel, static_cast<EditBox>(i));
  }
}

void SetField(Context& ctx, EditBox control, std::string_view text) {
  CheckControl(control);
  PanelModel& panel = ctx.panel;
  // While the materials page writes its own fields, their change handlers must stay quiet.
  if (IsMaterialsField(control) && panel.materialsBusy) return;
  std::string newText(text.substr(0, kMaxFieldText));
  EditField& field = panel.edits[control];
  if (newText != field.text) {
    MaterialsPage& page = panel.materialsPage;
    if (control == EditBoxRho) page.rhoEdited = true;
    if (control == EditBoxEpsilon) page.epsilonEdited = true;
    if (control == EditBoxTd) page.tdEdited = true;
  }
  field.text = std::move(newText);
  ReadField(ctx, control);
}

void LeaveField(Context& ctx, EditBox control) {
  CheckControl(control);
  if (IsGeometryField(control)) ctx.state.setupChanged = true;
  if (IsMaterialsField(control) && CommitMaterialsFields(ctx)) DrawMaterials(ctx);
}

void SetCheckBox(Context& ctx, CheckBox control, bool on) {
  CheckControl(control);
  if (control == CheckBoxShowStandardColors) {
    ShowStandardColors(ctx, on);
    return;
  }
  ctx.panel.checks[control] = on;
  if (IsGeometryCheckBox(control)) ctx.state.setupChanged = true;
}

void ShowPanel(Context& ctx, int index) {
  if (index >= kPanelTabCount) throw std::out_of_range("panel tab " + std::to_string(index));
  PanelModel& panel = ctx.panel;
  if (index >= 0) {
    if (index <= TabMaterials) {
      // The pixel budget only means something for the generated cross-sections.
      const bool generated = index <= TabCoaxial;
      panel.totalPixelsEnabled = generated;
      panel.edits[EditBoxTotalConductorPixels].enabled = generated;
    }
    panel.tab = index;
    LayoutPanel(ctx);
    if (index == TabMaterials) {
      // The palette may have changed since the page was last drawn.
      CommitMaterialsFields(ctx);
      DrawMaterials(ctx);
    }
    panel.enabled = true;
  }
  panel.visible = true;
}

void ClosePanel(Context& ctx) {
  ctx.panel.enabled = false;
  ctx.panel.visible = false;
}

void ShowPixelWidth(Context& ctx, double metres, bool editable) {
  ctx.state.pixelWidth = KnownPixelWidth(metres);
  if (metres == 0.0) {
    SetField(ctx, EditBoxPixelWidth, "");
  } else if (!editable) {
    SetField(ctx, EditBoxPixelWidth, Str(ctx.state.pixelWidth / kMetresPerInch, 9, 8) + " in");
  }
  ctx.panel.edits[EditBoxPixelWidth].enabled = editable;
}

void ShowConductorTotal(Context& ctx) {
  SetLabel(ctx, Label31, std::to_string(ctx.map.condCount));
}

void ShowSwitches(Context& ctx) {
  std::string text;
  for (int i = 0; i < kSwitchCount; ++i) {
    if (!ctx.state.switches.Numbered(i)) continue;
    if (!text.empty()) text += ",";
    text += std::to_string(i);
  }
  SetLabel(ctx, LabelSwitches, text);
}

void SetThreadCount(Context& ctx, bool up) {
  PanelModel& panel = ctx.panel;
  if (up && panel.threadCount < panel.threadMax) ++panel.threadCount;
  if (!up && panel.threadCount > 1) --panel.threadCount;
  SetLabel(ctx, LabelThreads, ThreadLabel(panel.threadCount));
}

void SetThreadCountTo(Context& ctx, int n) {
  PanelModel& panel = ctx.panel;
  panel.threadCount = std::clamp(n, 1, std::max(1, panel.threadMax));
  SetLabel(ctx, LabelThreads, ThreadLabel(panel.threadCount));
}

void ClearStatus(Context& ctx) {
  SetLabel(ctx, Label36, "");
  SetLabel(ctx, Label39, "");
  SetLabel(ctx, Label40, "");
  SetLabel(ctx, Label17, "");
}

void RequestStop(Context& ctx) {
  ctx.state.solveInProgress = false;
  ctx.state.abortRequested = true;
}

void RequestResume(Context& ctx) {
  ctx.state.resumeCountdown = 2;
}

void SetLabel(Context& ctx, PanelLabel label, std::string_view text) {
  if (label < 0 || label >= kPanelLabelCount) {
    throw std::out_of_range("panel label index " + std::to_string(static_cast<int>(label)));
  }
  ctx.panel.labels[label] = std::string(text.substr(0, kMaxLabelText));
}

int PanelKeyToCommand(int code, bool inTextField) {
  constexpr int kSpecialKey = 0xF000;
  const bool functionKey = code >= 111 && code <= 122;  // numeric-pad divide, F1..F11
  const bool movementKey = code >= 33 && code <= 46;    // page, end, home, arrows, insert, delete
  if (functionKey || (movementKey && !inTextField)) return kSpecialKey + code;
  return -1;
}

}  // namespace zolva
