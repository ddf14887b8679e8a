#include <cmath>
#include <fstream>

#include "core/utility.h"
#include "program/context.h"
#include "program/reporting.h"
#include "program/results_report.h"

namespace zolva {

namespace {

constexpr const char* kLogFileName = "zolva log.txt";
// Only solves of a minute or more are worth a line: short ones are easily run again.
constexpr int kLogThresholdSeconds = 60;

}  // namespace

bool AppendLog(Context& ctx, int seconds) {
  if (seconds < kLogThresholdSeconds) return true;
  const Results& r = ctx.results;
  const std::string path = ctx.state.programFolder + kLogFileName;

  double now = ctx.platform->Now();
  std::string text = ctx.platform->ShortDateText(now) + " " + ctx.platform->LongTimeText(now) +
                     "  " + r.summary + "\r\n";
  if (r.L != 0.0 && r.C != 0.0) {
    text += "Combined: Zo=" + Str(CharacteristicImpedance(r.L, r.C), 6, 1) +
            ", vf=" + Str(VelocityFactor(r.L, r.C), 5, 3) + "\r\n";
  }

  // Binary mode keeps the CR LF line ends exactly as written; app creates a missing file.
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (out) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
  }
  if (out.fail()) {
    MessageBox(ctx, "Could not write the log \"" + path + "\".", "zolva", ButtonsOk);
    return false;
  }
  return true;
}

}  // namespace zolva
