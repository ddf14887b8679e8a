// The JSON Lines that zolva-batch prints with --json: one object per finished solve, as it
// finishes, and a last object with the results of the last solve of each kind. Each object is one
// line of standard output.
#pragma once

#include <optional>
#include <string>

#include "core/line_matrices.h"
#include "core/line_modes.h"
#include "core/reporter.h"

namespace zolva {

struct Context;

// A JSON string literal of text (quotes, backslashes and control characters escaped).
std::string JsonString(const std::string& text);
// A number in its shortest exact form, null when it is not finite; locale-independent.
std::string JsonNumber(double x);

// The object of a solve that has just finished: its number (from 1), the script line, the
// geometry and its inputs, every figure with its unit, the estimate, the peak field and the
// notes. Read while the results record still holds the solve's figures.
std::string SolveObject(const Context& ctx, SolvedFigures which, int number);

// The matrices of a coupled line: the conductors' names, the frequency and C, G, L, R as arrays
// of rows, in SI units.
std::string MatricesObject(const LineMatrices& m);
// The modes of a coupled line: every figure of CoupledFigures by its name (Zodd, Zdiff, Kb_1_2,
// ...) in SI units, and "units" naming the unit of those that have one.
std::string ModesObject(const CoupledModes& modes);
// The object of a coupled solve that has just finished: its number, the geometry, the
// reference, the matrices, the modes (and those of every frequency of a sweep), the asymmetries and
// notes.
std::string CoupledObject(const Context& ctx, int number);

// The last object: the last solve object of each kind (null when there was none), the count of
// solves and the end state of the run.
std::string FinalObject(const Context& ctx, int solves, const std::optional<std::string>& lastL,
                        const std::optional<std::string>& lastC, int exitStatus);

}  // namespace zolva
