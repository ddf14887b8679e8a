// The two tabulating studies. The "LandRs" study solves pairs of square wires of 1 mm at the
// offsets of the loop inductance table of the resistance model, in the table's order (entry 18 the
// pair 900 mm apart): drawn finely enough, each wire stands for one pixel of a coarser map, so
// its loop inductances are the values that table holds. Step 0, a coaxial line, is a reference
// with a closed form. The "Twinlead" study sweeps a round twinlead from 1 GHz down to 1 Hz,
// through the whole passage from a current in the skin to a uniform one.
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "core/text_reader.h"
#include "core/utility.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/result_tables.h"
#include "program/studies.h"
#include "program/studies_run.h"

namespace zolva {

namespace {

struct PairOffset {
  int separation;  // millimetres
  int skew;        // millimetres
};

constexpr int kPairCount = 39;

// The offsets of the loop inductance table, in its order: the pairs on one row at distances 1 to
// 17, the pair 900 apart, then the off-axis pairs (du, dv) with 1 <= dv <= du <= 6.
constexpr std::array<PairOffset, kPairCount> LandRsPairs() {
  std::array<PairOffset, kPairCount> pairs{};
  std::size_t n = 0;
  for (int d = 1; d <= 17; ++d) pairs[n++] = {d, 0};
  pairs[n++] = {900, 0};
  for (int skew = 1; skew <= 6; ++skew) {
    for (int separation = skew; separation <= 6; ++separation) pairs[n++] = {separation, skew};
  }
  return pairs;
}

constexpr std::array<PairOffset, kPairCount> kLandRsPairs = LandRsPairs();
static_assert(kLandRsPairs[17].separation == 900 && kLandRsPairs[18].skew == 1 &&
              kLandRsPairs[38].separation == 6 && kLandRsPairs[38].skew == 6);

// Wires of 1 mm this close share a side or a corner. This program refuses touching conductors at
// different voltages (they are a short circuit), so these pairs are not solved and their entries
// are left empty, keeping every other entry at its place in the table.
bool PairTouches(const PairOffset& pair) {
  return pair.separation <= 1 && pair.skew <= 1;
}

std::string Millimetres(int n) {
  return IntText(n) + "mm";
}

// The L and Rs rows of one solve, or a failure (after its message) when they cannot be written.
bool WriteStudyRows(Context& ctx, const std::string& inductances, const std::string& resistances,
                    int row, TableLayout layout) {
  const Results& r = ctx.results;
  return AppendRows(ctx, {{inductances, Str(r.L * 1e6, 10, 8)}, {resistances, Str(r.Rs, 10, 8)}},
                    row, layout);
}

// One solve and its row. False when the study ends here, already ended.
bool StudyStepWithRow(StudyRun& run, GeometryKind kind, const std::string& inductances,
                      const std::string& resistances, int row, TableLayout layout) {
  const StudyStep step = run.Solve(kind);
  if (step == StudyStep::Solved &&
      !WriteStudyRows(run.ctx(), inductances, resistances, row, layout)) {
    run.Fail();
    return false;
  }
  if (step == StudyStep::Failed || step == StudyStep::Stopped) {
    run.EndAfter(step);
    return false;
  }
  if (run.StopRequested()) {
    run.Stop();
    return false;
  }
  return true;
}

}  // namespace

void StudyLandRs(Context& ctx) {
  StudyRun run(ctx, "LandRs");
  if (!run.Start(true)) return;
  SetCheckBox(ctx, CheckBoxRestrict, false);
  SetField(ctx, EditBoxFrequency, "0.000001");  // 1 hertz: the current is all but uniform
  const std::string base = ctx.state.programFolder + "LandRs " + ctx.panel.runName;
  const std::string inductances = base + " Inductances.txt";
  const std::string resistances = base + " Resistances.txt";

  SetField(ctx, EditBoxShieldOuterDia, "4.5mm");
  SetField(ctx, EditBoxShieldInnerDia, "4mm");
  SetField(ctx, EditBoxCenterConductorDia, "2mm");
  // Two centre conductors in one place: a skew left in the field would make them overlap, a
  // short circuit, and the reference would depend on what the user typed last.
  SetField(ctx, EditBoxVerticalSkew, "0mm");
  SetCheckBox(ctx, CheckBoxOneWire, true);  // "2 wire" on the coaxial tab
  if (!StudyStepWithRow(run, GeomCoaxial, inductances, resistances, 1, TableLayout::List)) return;

  SetField(ctx, EditBoxWireWidth, "1mm");
  SetField(ctx, EditBoxWireHeight, "1mm");
  SetCheckBox(ctx, CheckBoxOneWire, false);
  std::string skipped;
  for (int step = 1; step <= kPairCount; ++step) {
    const PairOffset& pair = kLandRsPairs[static_cast<std::size_t>(step - 1)];
    if (PairTouches(pair)) {
      if (!AppendRows(ctx, {{inductances, ""}, {resistances, ""}}, step + 1, TableLayout::List))
        return run.Fail();
      skipped += (skipped.empty() ? "" : ", ") + IntText(step + 1);
      continue;
    }
    SetField(ctx, EditBoxWireSeparation, Millimetres(pair.separation));
    SetField(ctx, EditBoxVerticalSkew, Millimetres(pair.skew));
    if (!StudyStepWithRow(run, GeomSquareTwinlead, inductances, resistances, step + 1,
                          TableLayout::List)) {
      return;
    }
  }
  run.Complete();
  if (!skipped.empty()) {
    ShowStatus(ctx, "LandRs study: entries " + skipped +
                        " are empty; their wires touch, and touching conductors are not solved.");
  }
}

std::optional<std::string> TwinleadSeparationText(const std::string& runName) {
  int n = 0;
  if (!ParseInteger(runName, n)) return std::nullopt;
  if (runName == "00") return "10.25";
  if (n == 0) return "10.5";
  return IntText(static_cast<long long>(n) + 10);
}

std::string TwinleadFrequencyText(double hertz) {
  if (hertz <= 500000) return Str(hertz / 1e6, 8, 6);
  return IntText(std::llround(hertz / 1e6));
}

void StudyTwinlead(Context& ctx) {
  StudyRun run(ctx, "Twinlead");
  if (!run.Start(true)) return;
  const std::optional<std::string> separation = TwinleadSeparationText(ctx.panel.runName);
  if (!separation) {
    run.Refuse("its name must be a whole number, the separation of the wires less 10 mm (\"" +
               ctx.panel.runName + "\" is none).");
    run.Fail();
    return;
  }
  SetField(ctx, EditBoxWireSeparation, *separation + "mm");
  SetField(ctx, EditBoxWireDiameter, "10mm");
  const std::string inductances =
      ctx.state.programFolder + "Twinlead Inductances " + *separation + ".txt";
  const std::string resistances =
      ctx.state.programFolder + "Twinlead Resistances " + *separation + ".txt";
  for (int i = 1; i <= 10; ++i) {
    const double hertz = std::round(std::pow(10.0, 10 - i));
    SetField(ctx, EditBoxFrequency, TwinleadFrequencyText(hertz));
    SetCheckBox(ctx, CheckBoxRestrict, true);
    if (!StudyStepWithRow(run, GeomTwinlead, inductances, resistances, i, TableLayout::Lines)) {
      return;
    }
  }
  run.Complete();
}

}  // namespace zolva
