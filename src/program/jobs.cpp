#include "program/jobs.h"

#include "program/context.h"

namespace zolva {

GeometryInputs GeometryInputsOf(const PanelModel& p) {
  GeometryInputs in;
  in.wireSeparation = p.wireSeparation;
  in.wireDiameter = p.wireDiameter;
  in.insulationDiameter = p.insulationDiameter;
  in.wireWidth = p.wireWidth;
  in.wireHeight = p.wireHeight;
  in.centerConductorDia = p.centerConductorDia;
  in.shieldInnerDia = p.shieldInnerDia;
  in.shieldOuterDia = p.shieldOuterDia;
  in.verticalSkew = p.verticalSkew;
  in.topDistance = p.topDistance;
  in.bottomDistance = p.bottomDistance;
  in.sideDistance = p.sideDistance;
  in.totalConductorPixels = p.totalConductorPixels;
  in.sweepPixelWidth = p.sweepPixelWidth;
  const auto& c = p.checks;
  in.restrict = c[CheckBoxRestrict];
  in.oneWire = c[CheckBoxOneWire];
  in.addGroundedWire = c[CheckboxAddGroundedWire];
  in.addFloatingWire = c[CheckBoxAddFloatingWire];
  in.addTopPlane = c[CheckBoxAddTopPlane];
  in.addBottomPlane = c[CheckBoxAddBottomPlane];
  in.addSidePlanes = c[CheckBoxAddSidePlanes];
  in.insulationVertical = c[CheckBoxInsulationVertical];
  in.insulationHorizontal = c[CheckBoxInsulationHorizontal];
  in.airDielectric = c[CheckBoxAirDielectric];
  in.snapColours = c[CheckBoxSnapColours];
  return in;
}

GeometryJob GeometryJobOf(Context& ctx) {
  return GeometryJob{ctx.state,
                     ctx.map,
                     ctx.materials,
                     ctx.results,
                     ctx.display.fieldReady,
                     ctx.reporter,
                     ctx.failure,
                     GeometryInputsOf(ctx.panel)};
}

CapacitanceJob CapacitanceJobOf(Context& ctx) {
  CapacitanceOptions options;
  options.threadCount = ctx.panel.threadCount;
  options.voZero = ctx.panel.checks[CheckBoxVoZero];
  options.noPrediction = ctx.panel.checks[CheckBoxNoPrediction];
  options.classicRelaxation = ctx.panel.checks[CheckBoxClassicRelaxation];
  options.unending = ctx.panel.checks[CheckBoxUnending];
  return CapacitanceJob{
      ctx.state,      ctx.map,     ctx.materials,          ctx.cindex, ctx.regions,   ctx.grid,
      ctx.prediction, ctx.results, ctx.display.fieldReady, ctx.pool,   *ctx.platform, ctx.reporter,
      ctx.failure,    options};
}

FieldPaintJob FieldPaintJobOf(Context& ctx) {
  return FieldPaintJob{ctx.grid,           ctx.map,     ctx.materials, ctx.display, ctx.results.L,
                       ctx.state.switches, ctx.reporter};
}

LSolverJob LSolverJobOf(Context& ctx) {
  LSolverOptions options;
  options.threadCount = ctx.panel.threadCount;
  options.pixelWidthText = ctx.panel.edits[EditBoxPixelWidth].text;
  if (ctx.panel.forceElimination) options.method = LSolverOptions::Method::Elimination;
  options.highIntensity = ctx.display.highIntensity;
  return LSolverJob{ctx.state, ctx.map,       ctx.materials, ctx.cindex,  ctx.lsolver, ctx.results,
                    ctx.pool,  *ctx.platform, ctx.reporter,  ctx.failure, options};
}

}  // namespace zolva
