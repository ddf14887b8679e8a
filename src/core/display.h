// The settings of the field display that the solvers and the application read or clear.
#pragma once

namespace zolva {

struct DisplaySettings {
  bool fieldReady = false;    // the grid holds a potential field the display may show
  bool copyToScreen = false;  // a refresh copies its result to the screen only while set
  bool plotCurrents = true;
  bool highIntensity = false;
  int displayMode = 0;
  int fieldLineDensity = 4;
  int zoomIndex = 0;
};

}  // namespace zolva
