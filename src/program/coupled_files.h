// The files that carry a coupled line of N conductors into other tools, and the result lines of
// its modes: the N-conductor RLGC table (CSV), a 2N-port Touchstone file of a length of the line,
// a W-element RLGC file with N lines and an ngspice CPL model.
#pragma once

#include <string>
#include <vector>

#include "core/line_matrices.h"
#include "core/line_modes.h"
#include "program/coupled_model.h"

namespace zolva {

struct Context;

struct CoupledExportSettings {
  std::string tablePath;             // the CSV table; the other files are named after it
  double lineLength = 0.0;           // metres; above 0: the Touchstone file of that length, and
                                     // the length of the SPICE models (1 m when 0)
  double referenceImpedance = 50.0;  // ohms, of every Touchstone port
  double spiceFrequencyHz = 0.0;  // the CPL model's frequency, one of the points'; 0: the highest
};

// The table: a header row, then per frequency the frequency (Hz) and the entries of R (ohm/m),
// L (H/m), G (S/m) and C (F/m), each matrix row by row: "R1_2 (ohm/m)" is row 1, column 2.
std::string CoupledTableText(const std::vector<LineMatrices>& points);
// Touchstone 1.1 with 2N ports, "# Hz S RI R z0"; the header names each port. Two ports: S11,
// S21, S12, S22 on one line; more: the matrix row by row, at most four entries to a line, each
// row on a new line.
std::string CoupledTouchstoneText(const std::vector<LineMatrices>& points, double length, double z0,
                                  const std::string& title);
// An ngspice CPL model card: R, L, G and C as upper triangles, row by row, and the length.
std::string CplModelText(const LineMatrices& m, double length, const std::string& modelName);
// The W-element RLGC file of N conductors: N, then L0, C0, R0, G0, Rs and Gd as lower triangles,
// row by row.
std::string CoupledWElementText(const WElementMatrices& fit,
                                const std::vector<LineMatrices>& points, double length,
                                const std::string& title);
// ".s4p" for two conductors, ".s6p" for three, ...
std::string TouchstoneExtension(int conductors);

struct CoupledExportResult {
  std::vector<std::string> files;
  std::string fitSummary;  // the W-element fit's worst relative differences
};

// Checks the points (valid matrices, one conductor count, distinct positive frequencies, the
// SPICE frequency among them) and writes the table, the W-element file (".rlgc"), the CPL model
// (".lib") and, with a length, the Touchstone file (".s{2N}p"), all of them or none. Returns an
// empty text, or the message that names the file or the value.
std::string WriteCoupledFiles(const std::vector<LineMatrices>& points,
                              const CoupledExportSettings& settings, CoupledExportResult& result);
// The same for a command: false after the message, with operationFailed set.
bool WriteCoupledFiles(Context& ctx, const std::vector<LineMatrices>& points,
                       const CoupledExportSettings& settings, CoupledExportResult& result);

// One figure of the modes, for the summary, the tables and JSON: name (a JSON key: "Zodd",
// "Zeven", "Zdiff", "Zcomm", "vfOdd", "vfEven", "Kb_1_2", "Kf_1_2", "vf_mode_1", ...), value and
// unit ("ohm", "s/m" or empty).
struct CoupledFigure {
  std::string name;
  double value = 0.0;
  std::string unit;
};
std::vector<CoupledFigure> CoupledFigures(const CoupledModes& modes);
// The result lines of the modes, such as "Zdiff = 90.12 ohms, Zcomm = 30.05 ohms". names: the
// conductors' labels (numbers when empty).
std::vector<std::string> CoupledResultLines(const CoupledModes& modes,
                                            const std::vector<std::string>& names);

}  // namespace zolva
