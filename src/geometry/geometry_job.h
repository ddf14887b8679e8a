// What the generators and the Usermap loader work on: the records of the map they make and the
// dimensions and options the user set, with the reporting interface. The application builds a
// job from its own records for each call.
#pragma once

#include "core/display.h"
#include "core/materials.h"
#include "core/pixel_map.h"
#include "core/reporter.h"
#include "core/results.h"
#include "core/solve_failure.h"
#include "core/solve_state.h"

namespace zolva {

// The dimensions of a generated cross-section, in metres (-1 inch when the user's text did not
// convert), the conductor pixel budget and the drawing options.
struct GeometryInputs {
  double wireSeparation = 0, wireDiameter = 0, insulationDiameter = 0;
  double wireWidth = 0, wireHeight = 0;
  double centerConductorDia = 0, shieldInnerDia = 0, shieldOuterDia = 0;
  double verticalSkew = 0, topDistance = 0, bottomDistance = 0, sideDistance = 0;
  int totalConductorPixels = 0;
  // Above 0: the pixel width every frequency of a sweep is drawn at, in place of the pixel total
  // (which would give each frequency's skin-depth layer a width of its own).
  double sweepPixelWidth = 0;

  bool restrict = false;  // "Restrict to skin depth"
  bool oneWire = false;   // "1 Wire" ("2 wire" on the coaxial tab)
  bool addGroundedWire = false;
  bool addFloatingWire = false;
  bool addTopPlane = false;
  bool addBottomPlane = false;
  bool addSidePlanes = false;
  bool insulationVertical = false;
  bool insulationHorizontal = false;
  bool airDielectric = false;
  bool snapColours = false;  // "Snap colours": a Usermap's colours snap to its materials
};

struct GeometryJob {
  SolveState& state;
  PixelMap& map;
  MaterialTables& materials;
  Results& results;
  bool& fieldReady;  // the grid holds a potential field the display may show
  Reporter& report;
  FailureSlot& failure;  // why the call could not do its work
  GeometryInputs inputs;
};

}  // namespace zolva
