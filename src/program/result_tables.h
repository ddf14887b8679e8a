// Result tables for series of runs (one number per row, one file per quantity, named after the
// run) and the dump of the solved potential of the capacitance grid.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zolva {

struct Context;

// Suffixes of the files, appended to the program folder and the run name.
inline constexpr std::string_view kCapacitancesSuffix = " Capacitances.txt";
inline constexpr std::string_view kConductancesSuffix = " Conductances.txt";
inline constexpr std::string_view kVFactorsSuffix = " VFactors.txt";
inline constexpr std::string_view kInductancesSuffix = " Inductances.txt";
inline constexpr std::string_view kResistancesSuffix = " Resistances.txt";
inline constexpr std::string_view kCvoltsSuffix = " Cvolts.txt";

// Gp at or below this (siemens per metre) is a loss-free line: no Conductances row.
inline constexpr double kLeastTabledConductance = 1e-16;

// programFolder + the run name (the "Name :" field) + suffix.
std::string TablePath(const Context& ctx, std::string_view suffix);

// Writes one row: the text and CR LF. Nothing is written while Switch::DryRun is on. Row 1
// starts the file afresh unless Switch::AlwaysAppend is on; every other row, and row 1 under
// Switch::AlwaysAppend, appends (a missing file is created, so a series may begin with any row).
// The whole row is written, however long the number. The table is replaced whole through a
// temporary file in its folder. Returns true when the row was written or skipped; false, after a
// message that names the file and with operationFailed set, when it could not be read, written or
// replaced; the table then holds what it held before.
bool AppendRow(Context& ctx, const std::string& path, std::string_view text, int row);

// How a table holds its rows: one per line (the number and CR LF), or all of a series on one line
// as a comma-separated list without a line end.
enum class TableLayout { Lines, List };

// One row into each of several tables (path, text), by the rules of AppendRow: every table gets
// its row, or, when one of them cannot be written, none does.
bool AppendRows(Context& ctx, const std::vector<std::pair<std::string, std::string>>& rows, int row,
                TableLayout layout);

// After a scripted C and Gp solve: C in pF/m; Gp in S/m when above 1e-16; the velocity factor
// 1/(sqrt(L C) c0) when an L is known. The rows of one solve go into all of its tables or,
// when one of them cannot be written, into none.
bool WriteCapacitanceRow(Context& ctx, int row);
// After a scripted L and Rs solve or a sweep step: L in uH/m and Rs in ohm/m, both or neither.
bool WriteInductanceRow(Context& ctx, int row);

// Writes the potential of the capacitance grid afresh to the run's " Cvolts.txt": twelve header
// lines with the grid's sizes and offsets, ten lines that explain the layout, an empty line, then
// one line of every core voltage and one of every apron voltage, row by row. The earlier dump is
// replaced only by a complete one. Returns false after a message naming the file (and with
// operationFailed set) when it cannot be written; the earlier dump then stays whole.
bool WriteVoltageDump(Context& ctx);

// Writes the table of the last solved currents (CurrentsTable) to programFolder + the name field
// + " currents.txt", whole through a temporary file. Writes nothing when no currents exist.
// Returns false after a message naming the file (and with operationFailed set) when it cannot be
// written.
bool WriteCurrentsFile(Context& ctx);

}  // namespace zolva
