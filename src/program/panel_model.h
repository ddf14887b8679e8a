// The control panel as data: the texts of its fields, its check boxes, labels, buttons and tab.
// A window mirrors this model and forwards the user's edits; scripts and tests drive it directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/reporter.h"

namespace zolva {

enum EditBox : int {
  EditBoxName,
  EditBoxWireSeparation,
  EditBoxWireDiameter,
  EditBoxInsulationDiameter,
  EditBoxWireWidth,
  EditBoxWireHeight,
  EditBoxCenterConductorDia,
  EditBoxShieldInnerDia,
  EditBoxShieldOuterDia,
  EditBoxVerticalSkew,
  EditBoxTopDistance,
  EditBoxBottomDistance,
  EditBoxSideDistance,
  EditBoxPixelWidth,
  EditBoxTotalConductorPixels,
  EditBoxFrequency,
  EditBoxRho,
  EditBoxEpsilon,
  EditBoxTd,
  EditBoxMu,
  kEditBoxCount
};

enum CheckBox : int {
  CheckBoxRestrict,
  CheckBoxUnending,
  CheckBoxNoPrediction,
  CheckBoxVoZero,
  CheckBoxOneWire,
  CheckboxAddGroundedWire,
  CheckBoxAddFloatingWire,
  CheckBoxAddTopPlane,
  CheckBoxAddBottomPlane,
  CheckBoxAddSidePlanes,
  CheckBoxInsulationVertical,
  CheckBoxInsulationHorizontal,
  CheckBoxAirDielectric,
  CheckBoxShortGroundPlane,
  CheckBoxHalfGroundPlane,
  CheckBoxBuildCoil,
  CheckBoxShowStandardColors,
  CheckBoxSnapColours,  // "Snap colours" of the Usermap page
  // After each solve, solve again at finer pixel sizes and report the discretisation error.
  CheckBoxEstimateError,
  // Solve C and Gp by the classic over-relaxation instead of the multigrid solver.
  CheckBoxClassicRelaxation,
  // Every separate conductor its own port: the C, G, L and R matrices of coupled lines.
  CheckBoxCoupled,
  kCheckBoxCount
};

struct EditField {
  std::string text;
  bool enabled = true;
  bool visible = true;
};

// The materials chart and the convergence graph are pictures of fixed design size; their
// content is computed here so that a window only has to paint it.
inline constexpr int kChartWidth = 350;
inline constexpr int kChartHeight = 101;
inline constexpr int kChartCells = 70;  // 14 columns of 5; only these can be shown and picked
inline constexpr int kGraphWidth = 350;
inline constexpr int kGraphHeight = 108;
inline constexpr std::uint32_t kPageBackground = 0xF0F0F0;  // R240 G240 B240

// One colour cell of the materials chart; right and bottom are exclusive.
struct ChartCell {
  int left = 0, top = 0, right = 0, bottom = 0;
  std::uint32_t color = 0;
};

// What the materials page shows besides the texts of its edit fields and labels.
struct MaterialsPage {
  std::vector<ChartCell> cells;
  bool fromTable = false;     // the chart shows the ColorTable, not the UsermapPalette
  bool hasSelection = false;  // SelectedColor names an entry of the chart's source
  std::uint32_t swatchColor = kPageBackground;  // the square (300, 30)-(340, 70)
  std::uint32_t ownerColor = 0;                 // colour of the entry the fields belong to
  std::optional<std::int8_t> litKind;           // the lit kind button; none without a selection
  // Fields typed into since the page was drawn; only these are written back to the material,
  // so that the rounded texts of untouched fields never overwrite the stored values.
  bool rhoEdited = false, epsilonEdited = false, tdEdited = false;
};

// One line of the convergence graph, in design units of the 350 x 108 picture.
struct GraphSegment {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::uint32_t color = 0;
};

inline constexpr double kPanelTextScales[7] = {0.6, 0.8, 1.0, 1.3, 1.8, 2.2, 3.0};

struct PanelModel {
  std::array<EditField, kEditBoxCount> edits;
  std::array<bool, kCheckBoxCount> checks{};
  // Relative residual of the multigrid field solve's last iteration (0 before one).
  double convergenceResidual = 0.0;
  std::array<std::string, kPanelLabelCount> labels;
  int tab = TabRoundTwinlead;
  bool visible = false;
  bool enabled = true;
  bool stopEnabled = false;
  bool resumeEnabled = false;
  bool totalPixelsEnabled = true;
  int threadCount = 1;  // position of the thread count control
  int threadMax = 1;
  // The pixel width a running frequency sweep draws every frequency at; 0 outside a sweep.
  double sweepPixelWidth = 0.0;
  // L and Rs by dense elimination whatever the size (BOX 6, zolva-batch --elimination).
  bool forceElimination = false;
  // The conductor a coupled solve of a map without ground takes as its reference (REF); 0: the
  // last one.
  int coupledReference = 0;
  bool showSigma = false;  // resistivity field shows conductivity 1/rho
  bool capacitanceMode = false;
  std::array<double, 70> convergence{};
  bool materialsBusy = false;
  int fieldsOwner = -1;  // the colour the materials fields were last drawn for
  MaterialsPage materialsPage;
  std::vector<GraphSegment> convergenceGraph;  // red trace (scale 100) first, then black
  std::string caption = "Control panel    64-bit";
  // Text size of the panel: an index into kPanelTextScales, changed by the End and Home keys.
  int textScaleIndex = 2;

  // Values read from the fields; dimensions in metres, -1 inch when a text does not convert.
  std::string runName = "Default";
  double wireSeparation = 0, wireDiameter = 0, insulationDiameter = 0;
  double wireWidth = 0, wireHeight = 0;
  double centerConductorDia = 0, shieldInnerDia = 0, shieldOuterDia = 0;
  double verticalSkew = 0, topDistance = 0, bottomDistance = 0, sideDistance = 0;
  int totalConductorPixels = 0;
  // Solves of an error estimate, the raw one included: 2 (an assumed order) or 3 (observed).
  int estimateSolves = 3;
};

// Whether a control is shown on the panel's current tab: the always-visible controls and those
// of the tab itself. A window mirrors these answers.
bool ControlVisible(const PanelModel& panel, EditBox control);
bool ControlVisible(const PanelModel& panel, CheckBox control);
// Caption of CheckBoxOneWire: "2 wire" on the coaxial tab, "1 Wire" elsewhere.
std::string OneWireCaption(const PanelModel& panel);

}  // namespace zolva
