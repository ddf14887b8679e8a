#include "program/result_tables.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "core/utility.h"
#include "program/context.h"
#include "program/reporting.h"
#include "program/results_report.h"

namespace zolva {

namespace {

// Switch 23 keeps every table growing across series; switch 24 is the dry run.
constexpr int kSwitchAlwaysAppend = 23;
constexpr int kSwitchDryRun = 24;

// The explanation lines of the voltage dump are padded to these widths, so that the block reads
// as a fixed-width table in any viewer.
constexpr std::size_t kExplanationWidth = 56;
constexpr std::size_t kExplanationStrWidth = 58;

// Values are written in buffered pieces of about this size: a full 3200 x 3200 core is some
// 130 MB of text, which is never held whole.
constexpr std::size_t kDumpChunk = 1 << 20;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// The message of a table or dump that could not be written. The script that wrote it ends.
bool ReportWriteFailure(Context& ctx, const std::string& path, int error) {
  std::string reason = error != 0 ? std::string(std::strerror(error)) : "write failed";
  MessageBox(ctx, "Cannot write \"" + path + "\": " + reason + ".", "zolva", ButtonsOk);
  ctx.state.operationFailed = true;
  return false;
}

// Writes the bytes and closes the file, telling whether every step succeeded.
bool WriteAndClose(FileHandle& file, std::string_view bytes, int& error) {
  errno = 0;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  ok = ok && std::fflush(file.get()) == 0;
  if (!ok) error = errno;
  std::FILE* raw = file.release();
  if (std::fclose(raw) != 0 && ok) {
    error = errno;
    ok = false;
  }
  return ok;
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
bool WriteValues(std::FILE* f, const std::vector<double>& values, std::size_t count) {
  std::string piece;
  piece.reserve(kDumpChunk + 64);
  for (std::size_t i = 0; i < count; ++i) {
    piece += Str(values[i], 12, 10);
    piece += ' ';
    if (piece.size() >= kDumpChunk) {
      if (std::fwrite(piece.data(), 1, piece.size(), f) != piece.size()) return false;
      piece.clear();
    }
  }
  piece += "\r\n";
  return std::fwrite(piece.data(), 1, piece.size(), f) == piece.size();
}

}  // namespace

std::string TablePath(const Context& ctx, std::string_view suffix) {
  return ctx.state.programFolder + ctx.panel.runName + std::string(suffix);
}

bool AppendRow(Context& ctx, const std::string& path, std::string_view text, int row) {
  if (ctx.state.switches.at(kSwitchDryRun)) return true;
  const bool fresh = row == 1 && !ctx.state.switches.at(kSwitchAlwaysAppend);
  errno = 0;
  FileHandle file(std::fopen(path.c_str(), fresh ? "wb" : "ab"));
  if (!file) return ReportWriteFailure(ctx, path, errno);
  std::string line(text);
  line += "\r\n";
  int error = 0;
  if (!WriteAndClose(file, line, error)) return ReportWriteFailure(ctx, path, error);
  return true;
}

bool WriteCapacitanceRow(Context& ctx, int row) {
  const Results& r = ctx.results;
  if (!AppendRow(ctx, TablePath(ctx, kCapacitancesSuffix), Str(r.C * 1e12, 10, 8), row)) {
    return false;
  }
  if (std::fabs(r.Gp) > kLeastTabledConductance &&
      !AppendRow(ctx, TablePath(ctx, kConductancesSuffix), Str(r.Gp, 12, 12), row)) {
    return false;
  }
  if (r.L != 0.0) {
    double vf = VelocityFactor(r.L, r.C);
    if (!AppendRow(ctx, TablePath(ctx, kVFactorsSuffix), Str(vf, 10, 8), row)) return false;
  }
  return true;
}

bool WriteInductanceRow(Context& ctx, int row) {
  const Results& r = ctx.results;
  return AppendRow(ctx, TablePath(ctx, kInductancesSuffix), Str(r.L * 1e6, 10, 8), row) &&
         AppendRow(ctx, TablePath(ctx, kResistancesSuffix), Str(r.Rs, 10, 8), row);
}

bool WriteVoltageDump(Context& ctx) {
  const SolverGrid& g = ctx.grid;
  // Sizes are checked before the file is touched, so that a grid in an impossible state leaves
  // an earlier dump alone.
  const std::size_t coreCount = NodeCount(g.Cwid, g.Chei, g.Cvolts.size(), "Cvolts");
  const std::size_t apronCount = NodeCount(g.Awid, g.Ahei, g.Avolts.size(), "Avolts");
  const std::string path = TablePath(ctx, kCvoltsSuffix);
  errno = 0;
  FileHandle file(std::fopen(path.c_str(), "wb"));
  if (!file) return ReportWriteFailure(ctx, path, errno);
  errno = 0;
  const std::string header = DumpHeader(g);
  bool ok = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();
  ok = ok && WriteValues(file.get(), g.Cvolts, coreCount);
  ok = ok && WriteValues(file.get(), g.Avolts, apronCount);
  int error = 0;
  if (!ok) {
    error = errno;
    file.reset();
    return ReportWriteFailure(ctx, path, error);
  }
  if (!WriteAndClose(file, {}, error)) return ReportWriteFailure(ctx, path, error);
  return true;
}

}  // namespace zolva
