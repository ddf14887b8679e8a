// The headless session: one cross-section, its settings and its last solves, driven by plain
// calls. zolva-batch, the tests and the Python module use it; none of them needs a main window,
// the 200 ms tick or a count of beeps to know what happened. A call that cannot do its work
// throws SessionError carrying the text the desktop program would show, and leaves the session's
// previous cross-section and results in place.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/line_matrices.h"
#include "core/line_modes.h"
#include "core/reporter.h"
#include "core/results.h"
#include "program/panel_model.h"
#include "program/program_state.h"

namespace zolva {

struct Context;
class HeadlessPlatform;

// A call that could not do its work; what() is the message the user sees.
class SessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A solve that ran, but was stopped (RequestStop, Ctrl-C) before its end.
class SessionStopped : public SessionError {
 public:
  using SessionError::SessionError;
};

struct SessionOptions {
  // The program folder: "MoreColors.txt", the start-up script, the result tables and the log are
  // read and written there. Empty: the folder of the running program.
  std::string folder;
  bool runStartupScript = false;
  int threads = 0;  // 0: one thread; below 0: one per processor
};

enum class SolveWhat { Full, CAndGp, LAndRs };

// A colour of a drawn cross-section and the material it stands for, as a line of MoreColors.txt
// would define it: kind 0 ground, 1 the +1 conductor, -1 the -1 conductor, 2 floating metal,
// 3 insulator. Conductivity and permittivity are those of the material.
struct UserColour {
  std::uint32_t rgb = 0;  // 0xRRGGBB
  std::string name;
  int kind = 3;
  double resistivity = 0.0;  // ohm m, conductors
  double permittivity = 1.0;
  double lossTangent = 0.0;
};

// The figures of the last solves of the session, per metre of line in SI units.
struct SessionFigures {
  bool haveC = false, haveL = false;
  double C = 0.0;     // F/m
  double Gp = 0.0;    // S/m
  double L = 0.0;     // H/m
  double Rs = 0.0;    // ohm/m
  double Zo = 0.0;    // ohm
  double vf = 0.0;    // velocity factor, 0..1
  double VoC = 0.0;   // V, the balanced open line's -1 conductor potential
  double Qdif = 0.0;  // percent: charge imbalance of the C solve
  double frequencyHz = 0.0;
  double pixelWidth = 0.0;  // m
  std::array<FigureEstimate, kFigureCount> estimate{};
  EstimateBasis estimateL, estimateC;
  PeakField peak;
  std::vector<std::string> notes;
  std::string summary;  // the one-line summary of the results log
  // Coupled lines ("Coupled lines" on, a full solve): every conductor its own port. The matrices
  // at the working frequency, their lossless modes, and the relative asymmetry of C and of
  // R + j omega L as solved.
  bool coupled = false;
  LineMatrices matrices;
  CoupledModes modes;
  double asymmetryC = 0.0, asymmetryZ = 0.0;
  std::vector<std::string> coupledNotes;
};

// A field on the core grid of the last solve: values row by row, width x height, node (i, j) at
// x = x0 + i * dx, y = y0 + j * dx metres (y grows downwards, as in the picture).
struct FieldGrid {
  int width = 0, height = 0;
  double x0 = 0.0, y0 = 0.0, dx = 0.0;
  std::vector<double> values;
};

class Session {
 public:
  explicit Session(const SessionOptions& options = {});
  // On a platform the caller keeps (zolva-batch reads the messages it recorded).
  Session(HeadlessPlatform& platform, const SessionOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Builds the first cross-section: the start-up script when asked, then the panel's map. Every
  // other call starts the session first; a front end that installs its hooks calls it after.
  void Start();

  // Cross-sections. The field texts are what the panel accepts ("0.2mm", "12 AWG", "1.5");
  // fields not named keep the panel's defaults. Generate builds the map at once.
  void Generate(GeometryKind kind, const std::vector<std::pair<EditBox, std::string>>& fields = {},
                const std::vector<std::pair<CheckBox, bool>>& checks = {});
  void LoadUsermap(const std::string& path);
  // A drawn cross-section from pixels in memory: rgb holds width x height x 3 bytes, row by row.
  // pixelWidth in metres (0: as the name says, else the map is refused). The colours add to or
  // replace the defined colours of the same RGB for this map.
  void LoadPixels(const std::string& name, int width, int height, const std::uint8_t* rgb,
                  double pixelWidth, const std::vector<UserColour>& colours = {});

  // Settings; each is applied before the next solve reads it.
  void SetField(EditBox field, const std::string& text);
  void SetCheck(CheckBox box, bool on);
  void SetFrequencyHz(double hertz);
  void SetThreads(int threads);
  // Any script command line (FRE 100, BOX 5 ON, OPE ...); throws with the script's message when it
  // fails.
  void RunCommand(const std::string& line);

  // Solves the cross-section as it stands and returns the figures; throws SessionError on a
  // failure or a refusal, SessionStopped when a stop request ended it.
  SessionFigures Solve(SolveWhat what, bool estimate = false);
  const SessionFigures& Figures() const;

  // Fields of the last solve: the potential of the C and Gp solve (V, for the drive the solve
  // used) and the current density of the L and Rs solve (A/m^2 per ampere, magnitude). Empty
  // grids before such a solve.
  FieldGrid Potential() const;
  FieldGrid CurrentDensity() const;
  // The field picture of the last solve in display mode 0..7, as width x height x 3 RGB bytes.
  std::vector<std::uint8_t> Picture(int mode, int& width, int& height);

  // Progress texts as the panel would show them; called on the solving thread.
  void SetProgress(std::function<void(const std::string&)> progress);
  // May be called from any thread; the running solve stops at its next check.
  void RequestStop();
  // Called where a window would handle its pending events, before the stop request is read.
  void SetEvents(std::function<void()> events);
  // Called once per finished solve (after its estimate), with the kind of figures it made.
  void SetSolveReported(std::function<void(SolvedFigures)> reported);

  // For the front ends that need more than the calls above (zolva-batch's tables and exports).
  Context& context();
  const Context& context() const;

 private:
  Session(HeadlessPlatform* platform, const SessionOptions& options);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zolva
