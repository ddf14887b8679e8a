#include <cmath>
#include <string>

#include "core/utility.h"
#include "platform/atomic_file.h"
#include "program/context.h"
#include "program/reporting.h"
#include "program/results_report.h"

namespace zolva {

namespace {

constexpr const char* kLogFileName = "zolva log.txt";
// Only solves of a minute or more are worth a line: short ones are easily run again.
constexpr int kLogThresholdSeconds = 60;

// The log grows by whole entries: the earlier entries and the new one are written to a
// temporary file that then takes the log's place, so a failure leaves the log as it was.
bool WriteLogEntry(Context& ctx, const std::string& text) {
  const std::string path = ctx.state.programFolder + kLogFileName;
  std::string log;
  bool exists = false;
  std::string reason;
  if (!ReadFileBytes(path, log, exists, reason) || !WriteFileAtomically(path, log + text, reason)) {
    MessageBox(ctx, "Could not write the log \"" + path + "\": " + reason + ".", "zolva",
               ButtonsOk);
    return false;
  }
  return true;
}

}  // namespace

bool AppendLog(Context& ctx, int seconds) {
  if (seconds < kLogThresholdSeconds) return true;
  const Results& r = ctx.results;

  double now = ctx.platform->Now();
  std::string text = ctx.platform->ShortDateText(now) + " " + ctx.platform->LongTimeText(now) +
                     "  " + r.summary + "\r\n";
  if (r.L != 0.0 && r.C != 0.0) {
    text += "Combined: Zo=" + Str(CharacteristicImpedance(r.L, r.C), 6, 1) +
            ", vf=" + Str(VelocityFactor(r.L, r.C), 5, 3) + "\r\n";
  }
  // The estimate and the notes are worth keeping whole.
  if (!r.summaryExtra.empty() && r.summary.find(r.summaryExtra) == std::string::npos) {
    text += "  " + r.summaryExtra.substr(r.summaryExtra.find_first_not_of(' ')) + "\r\n";
  }

  return WriteLogEntry(ctx, text);
}

bool AppendLogLines(Context& ctx, int seconds, const std::string& lines) {
  if (seconds < kLogThresholdSeconds) return true;
  const double now = ctx.platform->Now();
  return WriteLogEntry(ctx, ctx.platform->ShortDateText(now) + " " +
                                ctx.platform->LongTimeText(now) + "  " + lines + "\r\n");
}

}  // namespace zolva
