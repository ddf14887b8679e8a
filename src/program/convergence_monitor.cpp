// The convergence monitor: the last 70 estimates of the capacitance (or of the open boundary's
// voltage during the prediction), their graph relative to the newest one, and the automatic
// stop of the relaxation once the estimates have settled.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "core/materials.h"
#include "core/utility.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"

namespace zolva {
namespace {

constexpr int kHistory = 70;
// The relaxation has settled when the last 70 estimates stray from the newest by less than this
// on average, relative to it.
constexpr double kSettledSpread = 9e-5;
constexpr std::uint32_t kRed = 0x0000FF;
constexpr std::uint32_t kBlack = 0x000000;

// The graph shows each estimate relative to the newest one: y = 50 at no deviation, and at
// scale 1 the picture spans +-2 % (2500 units per unit of relative deviation is 50 units per
// 2 %); at scale 100 it spans +-0.02 %.
void DrawConvergenceGraph(PanelModel& panel) {
  const auto& history = panel.convergence;
  panel.convergenceGraph.clear();
  const double newest = history[0];
  if (newest == 0.0) return;
  auto y = [newest](double entry, double scale) {
    const double offset = std::clamp(50.0 - scale * 2500.0 * (entry / newest - 1.0), 0.0, 100.0);
    return static_cast<int>(std::nearbyint(offset));
  };
  for (const auto& [color, scale] : {std::pair{kRed, 100.0}, std::pair{kBlack, 1.0}}) {
    for (int i = 1; i < kHistory; ++i) {
      if (history[i] == 0.0 || history[i - 1] == 0.0) continue;
      panel.convergenceGraph.push_back(
          {349 - 5 * i, y(history[i], scale), 354 - 5 * i, y(history[i - 1], scale), color});
    }
  }
}

void ShowFloatVoltages(Context& ctx) {
  const UsermapPalette& palette = ctx.materials.palette;
  std::string voltages;
  for (int n = std::clamp(palette.count, 0, kPaletteCapacity) - 1; n >= 0; --n) {
    if (palette.entries[n].kind != KindFloat) continue;
    voltages += ' ';
    voltages += Str(ctx.results.floatVolts.at(n), 5, 3);
  }
  if (!voltages.empty()) SetLabel(ctx, Label40, "Float:" + voltages + "  volts");
}

bool Settled(const PanelModel& panel) {
  const auto& history = panel.convergence;
  if (std::any_of(history.begin(), history.end(), [](double e) { return e == 0.0; })) {
    return false;
  }
  double spread = 0.0;
  for (double e : history) spread += std::abs(e - history[0]);
  return spread / kHistory / history[0] < kSettledSpread;
}

}  // namespace

void ShowConvergence(Context& ctx, double value) {
  PanelModel& panel = ctx.panel;
  if (value == 0.0) {
    // A new relaxation: the capacitance estimates start afresh.
    panel.capacitanceMode = true;
    panel.convergence.fill(0.0);
    SetLabel(ctx, LabelValue, "");
    SetLabel(ctx, Label40, "");
    DrawConvergenceGraph(panel);
  } else if (value > 0.0 && std::isfinite(value)) {
    SetLabel(ctx, LabelValue,
             panel.capacitanceMode ? Str(value * 1e12, 8, 4) + " pF" : Str(value, 8, 4) + " Vo");
    ShowFloatVoltages(ctx);
    std::copy_backward(panel.convergence.begin(), panel.convergence.end() - 1,
                       panel.convergence.end());
    panel.convergence[0] = value;
    DrawConvergenceGraph(panel);
    if (!panel.checks[CheckBoxUnending] && panel.capacitanceMode && Settled(panel)) {
      ctx.state.abortRequested = true;
      ctx.state.relaxationSettled = true;
    }
  }
  ProcessPendingEvents(ctx);
}

}  // namespace zolva
