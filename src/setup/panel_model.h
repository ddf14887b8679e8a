// The control panel as data: the texts of its fields, its check boxes, labels, buttons and tab.
// A window mirrors this model and forwards the user's edits; scripts and tests drive it directly.
#pragma once

#include <array>
#include <string>
#include <vector>

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
  kCheckBoxCount
};

enum PanelLabel : int {
  Label17,        // stage (ShowProgress)
  Label18,        // draw (ShowTrace)
  Label31,        // actual conductor pixel total
  Label36,        // surface
  Label39,        // time
  Label40,        // float voltages
  LabelThreads,   // " - 6 threads"
  LabelSwitches,  // numbers of the switches that are on
  LabelCoreSize,  // size of the capacitance grid's core
  LabelValue,     // current value of the convergence monitor
  LabelMaterialName,
  LabelRed,
  LabelGreen,
  LabelBlue,
  LabelHexColor,
  LabelRhoSymbol,
  kPanelLabelCount
};

enum PanelTab : int {
  TabRoundTwinlead = 0,
  TabSquareTwinlead = 1,
  TabCoaxial = 2,
  TabMaterials = 3,
  TabConverging = 4,
  TabResults = 5,
};

struct EditField {
  std::string text;
  bool enabled = true;
  bool visible = true;
};

struct PanelModel {
  std::array<EditField, kEditBoxCount> edits;
  std::array<bool, kCheckBoxCount> checks{};
  std::array<std::string, kPanelLabelCount> labels;
  int tab = TabRoundTwinlead;
  bool visible = false;
  bool enabled = true;
  bool stopEnabled = false;
  bool resumeEnabled = false;
  bool totalPixelsEnabled = true;
  int threadCount = 1;  // position of the thread count control
  int threadMax = 1;
  bool showSigma = false;  // resistivity field shows conductivity 1/rho
  bool capacitanceMode = false;
  std::array<double, 70> convergence{};
  bool materialsBusy = false;
  int fieldsOwner = -1;  // the colour the materials fields were last drawn for

  // Values read from the fields; dimensions in metres, -1 inch when a text does not convert.
  std::string runName = "Default";
  double wireSeparation = 0, wireDiameter = 0, insulationDiameter = 0;
  double wireWidth = 0, wireHeight = 0;
  double centerConductorDia = 0, shieldInnerDia = 0, shieldOuterDia = 0;
  double verticalSkew = 0, topDistance = 0, bottomDistance = 0, sideDistance = 0;
  int totalConductorPixels = 0;
};

}  // namespace zolva
