#include "program/result_tables.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "core/utility.h"
#include "lsolver/lsolver.h"
#include "platform/atomic_file.h"
#include "program/context.h"
#include "program/reporting.h"
#include "program/results_report.h"

namespace zolva {

namespace {

// The explanation lines of the voltage dump are padded to these widths, so that the block reads
// as a fixed-width table in any viewer.
constexpr std::size_t kExplanationWidth = 56;
constexpr std::size_t kExplanationStrWidth = 58;

// Values are written in buffered pieces of about this size: a full 3200 x 3200 core is some
// 130 MB of text, which is never held whole.
constexpr std::size_t kDumpChunk = 1 << 20;

// The message of a table or dump that could not be written. The script that wrote it ends.
bool ReportWriteFailure(Context& ctx, const std::string& path, const std::string& reason) {
  MessageBox(ctx,
             "Cannot write \"" + path + "\": " + (reason.empty() ? "write failed" : reason) + ".",
             "zolva", ButtonsOk);
  ctx.state.operationFailed = true;
  return false;
}

// One row of one table, and what the table held before it.
struct StagedRow {
  std::string path;
  std::string before;
  bool existed = false;
  AtomicFile file;
};

// The bytes one row adds to its table. A list keeps a series on one line, its rows separated by
// commas; a series appended (Switch::AlwaysAppend) to a list that already holds one starts a line
// of its own, so that the two series do not run into each other.
std::string RowText(TableLayout layout, std::string_view text, int row, const std::string& before) {
  std::string out;
  if (layout == TableLayout::List) {
    if (row > 1) {
      out = ",";
    } else if (!before.empty() && before.back() != '\n') {
      out = "\r\n";
    }
  }
  out.append(text);
  if (layout == TableLayout::Lines) out.append("\r\n");
  return out;
}

// Writes the rows of one solve, one per table: every table gets its row, or none does. Each new
// table is first written whole to a temporary file; only when all of them are ready do they
// replace the tables. Should a replacement fail after others succeeded, those go back to what
// they held.
bool WriteRows(Context& ctx, const std::vector<std::pair<std::string, std::string>>& rows, int row,
               TableLayout layout = TableLayout::Lines) {
  if (ctx.state.switches[Switch::DryRun]) return true;
  const bool fresh = row == 1 && !ctx.state.switches[Switch::AlwaysAppend];
  std::vector<StagedRow> staged;
  staged.reserve(rows.size());
  for (const auto& [path, text] : rows) {
    StagedRow& s = staged.emplace_back(StagedRow{path, {}, false, AtomicFile(path)});
    std::string reason;
    if (!ReadFileBytes(path, s.before, s.existed, reason)) {
      return ReportWriteFailure(ctx, path, reason);
    }
    const std::string line = RowText(layout, text, row, fresh ? std::string() : s.before);
    if (!s.file.Open() || (!fresh && !s.file.Write(s.before)) || !s.file.Write(line) ||
        !s.file.Finish()) {
      return ReportWriteFailure(ctx, path, s.file.error());
    }
  }
  for (std::size_t i = 0; i < staged.size(); ++i) {
    if (staged[i].file.Commit()) continue;
    for (std::size_t j = 0; j < i; ++j) {
      std::string ignored;
      if (staged[j].existed) {
        WriteFileAtomically(staged[j].path, staged[j].before, ignored);
      } else {
        std::error_code ec;
        std::filesystem::remove(staged[j].path, ec);
      }
    }
    return ReportWriteFailure(ctx, staged[i].path, staged[i].file.error());
  }
  return true;
}

const char* const kExplanation[10] = {
    "The data is written by the following code:",
    "  for cY:=0 to Chei-1 do for cX:=0 to Cwid-1 do begin",
    "      str(Cvolts[cY*Cwid+cX]:12:10,temp);",
    "      write(fv1,temp,' ') end;",
    "  writeln(fv1);   {CR/LF}",
    "  for aY:=0 to Ahei-1 do for aX:=0 to Awid-1 do begin",
    "      str(Avolts[aY*Awid+aX]:12:10,temp);",
    "      write(fv1,temp,' ') end;",
    "  writeln(fv1);   {CR/LF}",
    "  CloseFile(fv1)",
};

std::string DumpHeader(const SolverGrid& g) {
  const struct {
    int value;
    const char* text;
  } header[12] = {
      {g.Cwid, " = Cwid.  Cwid is the width of the core."},
      {g.Chei, " = Chei.  Chei is the height of the core."},
      {g.Awid, " = Awid.  Awid is the width of the apron."},
      {g.Ahei, " = Ahei.  Ahei is the height of the apron."},
      {g.AtoCX, " = AtoCX.  To convert aX to cX:  cX:=(aX shl 3)+AtoCX"},
      {g.AtoCY, " = AtoCY.  To convert aY to cY:  cY:=(aY shl 3)+AtoCY"},
      {g.CtoAX, " = CtoAX.  To convert cX to aX:  aX:=(cX+CtoAX) shr 3"},
      {g.CtoAY, " = CtoAY.  To convert cY to aY:  aY:=(cY+CtoAY) shr 3"},
      {g.UtoCX, " = UtoCX.  To convert uX to cX:  cX:=uX+UtoCX"},
      {g.UtoCY, " = UtoCY.  To convert uY to cY:  cY:=uY+UtoCY"},
      {g.CtoUX, " = CtoUX.  To convert cX to uX:  uX:=cX+CtoUX"},
      {g.CtoUY, " = CtoUY.  To convert cY to uY:  uY:=cY+CtoUY"},
  };
  std::string text;
  for (const auto& line : header) text += IntText(line.value) + line.text + "\r\n";
  for (const char* line : kExplanation) {
    std::string padded = line;
    std::size_t width =
        std::strstr(line, "str(") != nullptr ? kExplanationStrWidth : kExplanationWidth;
    if (padded.size() < width) padded.append(width - padded.size(), ' ');
    text += padded + "\r\n";
  }
  text += "\r\n";
  return text;
}

// Number of nodes of a width x height lattice whose array must hold them all.
std::size_t NodeCount(int width, int height, std::size_t arraySize, const char* name) {
  if (width < 0 || height < 0) throw std::out_of_range(std::string(name) + " has a negative size");
  std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (n > arraySize) {
    throw std::out_of_range(std::string(name) + " holds " + std::to_string(arraySize) +
                            " nodes; its size asks for " + std::to_string(n));
  }
  return n;
}

// Writes one line of values, each Str(v, 12, 10) and a space, in pieces.
bool WriteValues(AtomicFile& f, const std::vector<double>& values, std::size_t count) {
  std::string piece;
  piece.reserve(kDumpChunk + 64);
  for (std::size_t i = 0; i < count; ++i) {
    piece += Str(values[i], 12, 10);
    piece += ' ';
    if (piece.size() >= kDumpChunk) {
      if (!f.Write(piece)) return false;
      piece.clear();
    }
  }
  piece += "\r\n";
  return f.Write(piece);
}

}  // namespace

std::string TablePath(const Context& ctx, std::string_view suffix) {
  return ctx.state.programFolder + ctx.panel.runName + std::string(suffix);
}

bool AppendRow(Context& ctx, const std::string& path, std::string_view text, int row) {
  return WriteRows(ctx, {{path, std::string(text)}}, row);
}

bool AppendRows(Context& ctx, const std::vector<std::pair<std::string, std::string>>& rows, int row,
                TableLayout layout) {
  return WriteRows(ctx, rows, row, layout);
}

bool WriteCapacitanceRow(Context& ctx, int row) {
  const Results& r = ctx.results;
  std::vector<std::pair<std::string, std::string>> rows;
  rows.emplace_back(TablePath(ctx, kCapacitancesSuffix), Str(r.C * 1e12, 10, 8));
  if (std::fabs(r.Gp) > kLeastTabledConductance)
    rows.emplace_back(TablePath(ctx, kConductancesSuffix), Str(r.Gp, 12, 12));
  if (r.L != 0.0) {
    double vf = VelocityFactor(r.L, r.C);
    rows.emplace_back(TablePath(ctx, kVFactorsSuffix), Str(vf, 10, 8));
  }
  return WriteRows(ctx, rows, row);
}

bool WriteInductanceRow(Context& ctx, int row) {
  const Results& r = ctx.results;
  return WriteRows(ctx,
                   {{TablePath(ctx, kInductancesSuffix), Str(r.L * 1e6, 10, 8)},
                    {TablePath(ctx, kResistancesSuffix), Str(r.Rs, 10, 8)}},
                   row);
}

bool WriteVoltageDump(Context& ctx) {
  const SolverGrid& g = ctx.grid;
  // Sizes are checked before the file is touched, so that a grid in an impossible state leaves
  // an earlier dump alone.
  const std::size_t coreCount = NodeCount(g.Cwid, g.Chei, g.Cvolts.size(), "Cvolts");
  const std::size_t apronCount = NodeCount(g.Awid, g.Ahei, g.Avolts.size(), "Avolts");
  const std::string path = TablePath(ctx, kCvoltsSuffix);
  // The dump replaces the earlier one only when it is complete.
  AtomicFile file(path);
  const bool ok = file.Open() && file.Write(DumpHeader(g)) &&
                  WriteValues(file, g.Cvolts, coreCount) &&
                  WriteValues(file, g.Avolts, apronCount) && file.Commit();
  if (!ok) return ReportWriteFailure(ctx, path, file.error());
  return true;
}

bool WriteCurrentsFile(Context& ctx) {
  const std::string text = CurrentsTable(ctx.lsolver);
  if (text.empty()) return true;
  const std::string path =
      ctx.state.programFolder + ctx.panel.edits[EditBoxName].text + " currents.txt";
  std::string reason;
  if (!WriteFileAtomically(path, text, reason)) {
    MessageBox(ctx, "Cannot write " + path + ": " + reason, "zolva", ButtonsOk);
    ctx.state.operationFailed = true;
    return false;
  }
  return true;
}

}  // namespace zolva
