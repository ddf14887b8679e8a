// The settings of the field display that other subsystems read or clear.
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
