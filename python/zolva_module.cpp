// The compiled part of the Python module zolva: cross-sections as Section objects over the
// headless session, their solves as Result objects, fields and pictures as numpy arrays. The
// pure-Python part (zolva/__init__.py) adds the progress bar and the scikit-rf network; nothing
// here or there computes what the session computes.
#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/utility.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/coupled_model.h"
#include "program/coupled_solve.h"
#include "program/rlgc_sweep.h"
#include "program/session.h"
#include "section_keywords.h"
#include "solve_interrupt.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace zolva::python {

namespace {

// zolva.SolveError: a solve (or a sweep of solves) that failed or was stopped; the message is the
// text the desktop program would show.
class SolveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One cross-section and its session. The session answers one call at a time: every call takes
// the mutex, and takes it only with the GIL released, so that a progress callback (which needs
// the GIL) can never wait on a thread that waits on the mutex.
struct SectionCore {
  SectionCore(GeometryKind k, const SessionOptions& options) : kind(k), session(options) {}
  GeometryKind kind;
  std::mutex mutex;
  Session session;
  PanelInputs inputs;  // a generated cross-section's keywords, as given so far
  // Counts every change of the session's state (solves, new settings, commands): a result's
  // pictures are those of the session only while this still holds the result's number.
  long long changes = 0;
};

using Core = std::shared_ptr<SectionCore>;

// Runs f(session) under the mutex with the GIL released.
template <typename F>
auto WithSession(SectionCore& core, F&& f) {
  py::gil_scoped_release nogil;
  std::lock_guard<std::mutex> lock(core.mutex);
  return f(core.session);
}

// A field grid held by shared pointers: numpy arrays view its memory without copying it.
struct Field {
  std::shared_ptr<const FieldGrid> grid;
  std::string quantity, unit;
};

py::array ReadOnly(py::array array) {
  array.attr("setflags")("write"_a = false);
  return array;
}

py::array FieldValues(const Field& f) {
  const FieldGrid& g = *f.grid;
  // The capsule keeps the grid alive as long as any array views it.
  auto* keep = new std::shared_ptr<const FieldGrid>(f.grid);
  py::capsule owner(keep,
                    [](void* p) { delete static_cast<std::shared_ptr<const FieldGrid>*>(p); });
  const auto w = static_cast<py::ssize_t>(g.width), h = static_cast<py::ssize_t>(g.height);
  return ReadOnly(py::array_t<double>(
      {h, w},
      {w * static_cast<py::ssize_t>(sizeof(double)), static_cast<py::ssize_t>(sizeof(double))},
      g.values.data(), owner));
}

py::array Coordinates(double start, double step, int count) {
  py::array_t<double> a(count);
  auto v = a.mutable_unchecked<1>();
  for (int i = 0; i < count; ++i) v(i) = start + i * step;
  return a;
}

struct Estimate {
  double raw = 0, extrapolated = 0, relativeError = 0;
};

struct Peak {
  double voltsPerMetre = 0;
  int x = 0, y = 0;
  std::string material;
  double strength = 0, breakdownVolts = 0;
};

// The figures of one solve, and its fields, taken from the session when it ended.
struct ResultData {
  Core core;
  long long number = 0;  // the section's change count when the solve ended
  std::string what;
  SessionFigures figures;
  double seconds = 0.0;
  std::shared_ptr<const FieldGrid> potential, current;
  std::map<int, py::object> pictures;  // by display mode, as they were asked for
};
using Result = std::shared_ptr<ResultData>;

const char* const kPictureModes[] = {"map",  "V",      "E", "D", "loss", "equipotentials",
                                     "both", "E lines"};

int PictureMode(py::handle mode) {
  if (py::isinstance<py::str>(mode)) {
    const std::string name = mode.cast<std::string>();
    for (int i = 0; i < 8; ++i)
      if (name == kPictureModes[i]) return i;
  } else if (PyIndex_Check(mode.ptr()) && !PyBool_Check(mode.ptr())) {
    const long long i = IndexValue(mode);
    if (i >= 0 && i <= 7) return static_cast<int>(i);
  } else {
    throw py::type_error("picture: mode must be an int 0 to 7 or a name; got " +
                         py::repr(mode).cast<std::string>());
  }
  throw py::value_error(
      "picture: mode must be 0 to 7 or one of \"map\", \"V\", \"E\", \"D\", \"loss\", "
      "\"equipotentials\", \"both\", \"E lines\"; got " +
      py::repr(mode).cast<std::string>());
}

py::object Picture(ResultData& r, py::handle modeArgument) {
  const int mode = PictureMode(modeArgument);
  if (auto found = r.pictures.find(mode); found != r.pictures.end()) return found->second;
  int width = 0, height = 0;
  std::optional<std::vector<std::uint8_t>> rgb;
  WithSession(*r.core, [&](Session& s) {
    if (r.core->changes == r.number) rgb = s.Picture(mode, width, height);
  });
  if (!rgb)
    throw SolveError(
        "picture: the section has changed since this result (a later solve or setting); ask for "
        "a result's pictures before the section's next solve or change");
  auto* keep = new std::vector<std::uint8_t>(std::move(*rgb));
  py::capsule owner(keep, [](void* p) { delete static_cast<std::vector<std::uint8_t>*>(p); });
  const auto w = static_cast<py::ssize_t>(width), h = static_cast<py::ssize_t>(height);
  py::object array = ReadOnly(py::array_t<std::uint8_t>(
      {h, w, py::ssize_t{3}}, {w * 3, py::ssize_t{3}, py::ssize_t{1}}, keep->data(), owner));
  r.pictures[mode] = array;
  return array;
}

// What a solve runs with the GIL released: a progress callback, Ctrl-C, the session's failures.
// `work(session, checkpoint)` runs under the section's mutex; between the solves of a series it
// calls checkpoint(), which ends the series when Ctrl-C came or the callback raised (the session
// forgets a stop request at the start of each solve). Returns the section's change count after
// the work; raises the callback's own exception, KeyboardInterrupt after Ctrl-C, SolveError after
// a failure or a stop.
template <typename F>
long long RunSolving(SectionCore& core, const py::object& progress, F&& work) {
  if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
    throw py::type_error("progress must be a callable taking one str, None or \"auto\"; got " +
                         py::repr(progress).cast<std::string>());
  std::optional<py::error_already_set> callbackError;
  std::string failure;
  bool stopped = false;
  long long changes = 0;
  SolveInterrupt interrupt(core.session);
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(core.mutex);
    Session& session = core.session;
    if (!progress.is_none()) {
      session.SetProgress([&](const std::string& text) {
        py::gil_scoped_acquire gil;
        if (callbackError) return;
        try {
          // A text that is not valid UTF-8 is shown with replacement characters, never refused.
          const py::object utf8 = py::reinterpret_steal<py::object>(
              PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "replace"));
          if (!utf8) throw py::error_already_set();
          progress(utf8);
        } catch (py::error_already_set& e) {
          callbackError.emplace(std::move(e));
          session.RequestStop();
        }
      });
    }
    const auto checkpoint = [&]() {
      if (interrupt.Pending() || callbackError) throw SessionStopped("The solve was stopped.");
    };
    try {
      checkpoint();
      work(session, checkpoint);
    } catch (const SessionStopped& e) {
      stopped = true;
      failure = e.what();
    } catch (const SessionError& e) {
      failure = e.what();
    } catch (const std::exception& e) {
      failure = std::string("The solve ended on an unexpected error: ") + e.what();
    }
    session.SetProgress({});
    changes = ++core.changes;
  }
  const bool interrupted = interrupt.Release();
  if (callbackError) throw std::move(*callbackError);
  if (interrupted && !DeliverInterruptToPython()) throw py::error_already_set();
  if (stopped) throw SolveError(failure);
  if (!failure.empty()) throw SolveError(failure);
  return changes;
}

bool StrictBool(const char* function, const char* name, py::handle value) {
  if (!PyBool_Check(value.ptr()))
    throw py::type_error(std::string(function) + ": " + name + " must be True or False; got " +
                         py::repr(value).cast<std::string>());
  return value.ptr() == Py_True;
}

std::optional<int> Threads(const char* function, py::handle value) {
  if (value.is_none()) return std::nullopt;
  if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
    throw py::type_error(std::string(function) + ": threads must be an int; got " +
                         py::repr(value).cast<std::string>());
  const long long n = IndexValue(value);
  if (n < 1 || n > 64)
    throw py::value_error(std::string(function) + ": threads must be 1 to 64; got " +
                          std::to_string(n));
  return static_cast<int>(n);
}

// The matrices of coupled lines as numpy arrays, n x n, row by row as the conductors are numbered.
struct Matrices {
  py::array C, G, L, R;
  std::vector<std::string> names;
  double frequency = 0.0;
};

// The lossless modes of coupled lines (CoupledModes) as Python numbers and numpy arrays.
struct Modes {
  py::object Zodd, Zeven, Zdiff, Zcomm, vfOdd, vfEven;  // None unless a symmetric pair
  py::array Kb, Kf, vf, voltages, Zc;
};

py::array Square(const std::vector<double>& values, int n) {
  py::array_t<double> a({py::ssize_t{n}, py::ssize_t{n}});
  if (values.size() != static_cast<std::size_t>(n) * static_cast<std::size_t>(n))
    throw SolveError("the coupled solve gave " + std::to_string(values.size()) +
                     " entries for a matrix of " + std::to_string(n) + " conductors");
  std::copy(values.begin(), values.end(), a.mutable_data());
  return ReadOnly(a);
}

Matrices MatricesOf(const LineMatrices& m) {
  return Matrices{Square(m.C, m.n), Square(m.G, m.n), Square(m.L, m.n),
                  Square(m.R, m.n), m.names,          m.frequencyHz};
}

Modes ModesOf(const CoupledModes& m) {
  Modes modes;
  const auto pair = [&](double x) {
    return m.symmetricPair ? py::object(py::float_(x)) : py::none();
  };
  modes.Zodd = pair(m.Zodd);
  modes.Zeven = pair(m.Zeven);
  modes.Zdiff = pair(m.Zdiff);
  modes.Zcomm = pair(m.Zcomm);
  modes.vfOdd = pair(m.vfOdd);
  modes.vfEven = pair(m.vfEven);
  modes.Kb = Square(m.Kb, m.n);
  modes.Kf = Square(m.Kf, m.n);
  modes.voltages = Square(m.voltages, m.n);
  modes.Zc = Square(m.Zc, m.n);
  py::array_t<double> vf(static_cast<py::ssize_t>(m.velocityFactor.size()));
  std::copy(m.velocityFactor.begin(), m.velocityFactor.end(), vf.mutable_data());
  modes.vf = ReadOnly(vf);
  return modes;
}

Result Solve(const Core& core, const std::string& what, py::object frequency, py::object threads,
             py::object estimate, py::object coupled, py::object progress) {
  SolveWhat kind = SolveWhat::Full;
  if (what == "full") {
  } else if (what == "C") {
    kind = SolveWhat::CAndGp;
  } else if (what == "L") {
    kind = SolveWhat::LAndRs;
  } else {
    throw py::value_error(
        "solve: what must be \"full\", \"C\" (C and Gp) or \"L\" (L and Rs); "
        "got \"" +
        what + "\"");
  }
  std::optional<double> hertz;
  if (!frequency.is_none()) hertz = FrequencyHz("solve", "frequency", frequency);
  const std::optional<int> threadCount = Threads("solve", threads);
  const bool withEstimate = StrictBool("solve", "estimate", estimate);
  // Coupled lines are the panel's "Coupled lines" during the solve: every conductor its own port.
  const bool withCoupled = StrictBool("solve", "coupled", coupled);
  if (withCoupled && kind != SolveWhat::Full)
    throw py::value_error("solve: coupled=True needs what=\"full\"; got what=\"" + what + "\"");

  auto result = std::make_shared<ResultData>();
  result->core = core;
  result->what = what;
  {
    std::string refusal;
    WithSession(*core, [&](Session& s) {
      try {
        s.SetCheck(CheckBoxCoupled, withCoupled);
        if (hertz) s.SetFrequencyHz(*hertz);
        if (threadCount) s.SetThreads(*threadCount);
      } catch (const SessionError& e) {
        refusal = e.what();
      }
      ++core->changes;
    });
    if (!refusal.empty()) throw py::value_error("solve: " + refusal);
  }
  result->number = RunSolving(*core, progress, [&](Session& s, const auto&) {
    const auto start = std::chrono::steady_clock::now();
    result->figures = s.Solve(kind, withEstimate);
    result->seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    FieldGrid potential = s.Potential(), current = s.CurrentDensity();
    if (!potential.values.empty())
      result->potential = std::make_shared<const FieldGrid>(std::move(potential));
    if (!current.values.empty())
      result->current = std::make_shared<const FieldGrid>(std::move(current));
  });
  return result;
}

std::vector<double> FrequencyList(const char* function, py::handle frequencies) {
  std::vector<double> list;
  if (PyNumber_Check(frequencies.ptr()) && !py::isinstance<py::str>(frequencies) &&
      !py::hasattr(frequencies, "__len__")) {
    list.push_back(FrequencyHz(function, "frequencies", frequencies));
  } else if (py::isinstance<py::iterable>(frequencies) && !py::isinstance<py::str>(frequencies)) {
    for (py::handle f : py::iter(frequencies))
      list.push_back(FrequencyHz(function, "frequencies", f));
  } else {
    throw py::type_error(std::string(function) +
                         ": frequencies must be a number or a sequence of numbers of hertz; got " +
                         py::repr(frequencies).cast<std::string>());
  }
  if (list.empty()) throw py::value_error(std::string(function) + ": no frequency given");
  return list;
}

// R, L, G and C per metre at each frequency: one C and Gp solve at the first frequency (G grows in
// proportion to the frequency), one L and Rs solve at every one, a generated cross-section drawn
// at one pixel width for them all, as zolva-batch's RLGC table makes them.
py::tuple Rlgc(const Core& core, py::handle frequencies, py::object progress) {
  const std::vector<double> hertz = FrequencyList("rlgc", frequencies);
  std::vector<RlgcPoint> points;
  RunSolving(*core, progress, [&](Session& s, const auto& checkpoint) {
    std::vector<double> megahertz;
    for (double f : hertz) megahertz.push_back(f / 1e6);
    const auto [lowest, highest] = std::minmax_element(megahertz.begin(), megahertz.end());
    const SweepResolution resolution(s.context(), *lowest, *highest);
    s.SetField(EditBoxFrequency, ExactText(megahertz.front()));
    const SessionFigures c = s.Solve(SolveWhat::CAndGp);
    CapacitanceSolve capacitance;
    capacitance.C = c.C;
    if (c.frequencyHz > 0) capacitance.GpPerHertz = c.Gp / c.frequencyHz;
    std::vector<RlgcPoint> solved;
    for (double f : megahertz) {
      checkpoint();
      s.SetField(EditBoxFrequency, ExactText(f));
      const SessionFigures l = s.Solve(SolveWhat::LAndRs);
      RlgcPoint p;
      p.frequency = l.frequencyHz;
      p.R = l.Rs;
      p.L = l.L;
      solved.push_back(p);
    }
    points = CombineRlgc(std::move(solved), capacitance);
  });
  py::array_t<double> f(points.size()), R(points.size()), L(points.size()), G(points.size()),
      C(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    f.mutable_at(i) = points[i].frequency;
    R.mutable_at(i) = points[i].R;
    L.mutable_at(i) = points[i].L;
    G.mutable_at(i) = points[i].G;
    C.mutable_at(i) = points[i].C;
  }
  return py::make_tuple(f, R, L, G, C);
}

// The scattering matrices of `length` metres of coupled lines at each frequency (Hz): the
// matrices solved as zolva-batch --coupled --frequencies solves them (C and G once, R and L per
// frequency), each frequency's S from the modal solution of the lossy line, as the Touchstone
// file has it. Returns the frequencies and an array (frequencies, 2n, 2n) of complex numbers.
py::tuple CoupledNetwork(const Core& core, py::handle frequencies, double length, double z0,
                         py::object progress) {
  const std::vector<double> hertz = FrequencyList("network", frequencies);
  std::vector<LineMatrices> points;
  RunSolving(*core, progress, [&](Session& s, const auto&) {
    s.SetCheck(CheckBoxCoupled, true);
    std::vector<double> megahertz;
    for (double f : hertz) megahertz.push_back(f / 1e6);
    std::string failure;
    Context& ctx = s.context();
    if (!SolveCoupledSweep(ctx, megahertz, failure)) {
      if (ctx.state.abortRequested) throw SessionStopped("The solve was stopped: " + failure + ".");
      throw SessionError("The coupled matrices were not solved: " + failure + ".");
    }
    points = ctx.coupled.sweep;
  });
  const int ports = points.empty() ? 0 : 2 * points.front().n;
  py::array_t<std::complex<double>> S(
      {static_cast<py::ssize_t>(points.size()), py::ssize_t{ports}, py::ssize_t{ports}});
  py::array_t<double> f(static_cast<py::ssize_t>(points.size()));
  std::complex<double>* out = S.mutable_data();
  for (std::size_t k = 0; k < points.size(); ++k) {
    f.mutable_at(k) = points[k].frequencyHz;
    std::vector<std::complex<double>> s;
    try {
      s = CoupledSParameters(points[k], length, z0);
    } catch (const std::invalid_argument& e) {
      throw SolveError(std::string("network: ") + e.what());
    }
    out = std::copy(s.begin(), s.end(), out);
  }
  return py::make_tuple(f, S);
}

// A session for a new cross-section: the program folder is the working folder (MoreColors.txt is
// read there), no start-up script, the processors' count of threads as zolva-batch takes them.
SessionOptions NewSessionOptions(py::handle folder) {
  SessionOptions options;
  if (folder.is_none()) {
    options.folder = std::filesystem::current_path().string();
  } else {
    options.folder = py::str(py::module_::import("os").attr("fspath")(folder)).cast<std::string>();
    std::error_code ec;
    if (!std::filesystem::is_directory(options.folder, ec))
      throw py::value_error("folder: \"" + options.folder + "\" is no existing folder");
  }
  if (options.folder.back() != '/') options.folder += '/';
  options.threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
  return options;
}

// Builds a generated cross-section from the inputs; a refusal raises ValueError with the panel's
// message and leaves the section as it was.
void Generate(SectionCore& core, const PanelInputs& inputs) {
  std::vector<std::pair<EditBox, std::string>> fields(inputs.fields.begin(), inputs.fields.end());
  std::vector<std::pair<CheckBox, bool>> checks(inputs.checks.begin(), inputs.checks.end());
  std::string refusal;
  WithSession(core, [&](Session& s) {
    try {
      s.Generate(core.kind, fields, checks);
    } catch (const SessionError& e) {
      refusal = e.what();
    }
    ++core.changes;
  });
  if (!refusal.empty()) throw py::value_error(std::string(KindName(core.kind)) + ": " + refusal);
}

Core MakeGenerated(GeometryKind kind, const py::kwargs& keywords) {
  py::object folder = py::none();
  py::dict rest;
  for (const auto& [key, value] : keywords) {
    if (py::str(key).cast<std::string>() == "folder")
      folder = py::reinterpret_borrow<py::object>(value);
    else
      rest[key] = value;
  }
  PanelInputs inputs;
  ReadKeywords(KindName(kind), kind, py::kwargs(rest), inputs);
  auto core = std::make_shared<SectionCore>(kind, NewSessionOptions(folder));
  Generate(*core, inputs);
  core->inputs = std::move(inputs);
  return core;
}

// Changes keywords of a generated cross-section and builds it again.
void SetKeywords(const Core& core, const py::kwargs& keywords) {
  if (core->kind == GeomUsermap)
    throw py::type_error(
        "set: a usermap has no generator keywords; use command(), such as "
        "command(\"PIX 0.1mm\")");
  PanelInputs inputs = core->inputs;
  ReadKeywords("set", core->kind, keywords, inputs);
  Generate(*core, inputs);
  core->inputs = std::move(inputs);
}

std::uint32_t ColourKey(py::handle key) {
  auto bad = [&]() {
    return py::value_error(
        "usermap: a colour must be 0xRRGGBB, (r, g, b) with each 0 to 255, or \"#RRGGBB\"; got " +
        py::repr(key).cast<std::string>());
  };
  if (py::isinstance<py::str>(key)) {
    const std::string text = key.cast<std::string>();
    if (text.size() != 7 || text[0] != '#' ||
        text.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
      throw bad();
    return static_cast<std::uint32_t>(std::stoul(text.substr(1), nullptr, 16));
  }
  if (PyIndex_Check(key.ptr()) && !PyBool_Check(key.ptr())) {
    const long long v = IndexValue(key);
    if (v < 0 || v > 0xFFFFFF) throw bad();
    return static_cast<std::uint32_t>(v);
  }
  if (py::isinstance<py::tuple>(key) && py::len(key) == 3) {
    std::uint32_t rgb = 0;
    for (py::handle c : key) {
      if (!PyIndex_Check(c.ptr())) throw bad();
      const long long v = IndexValue(c);
      if (v < 0 || v > 255) throw bad();
      rgb = (rgb << 8) | static_cast<std::uint32_t>(v);
    }
    return rgb;
  }
  throw bad();
}

double PositiveNumber(const std::string& where, const char* what, py::handle value, double least) {
  double x = 0;
  try {
    x = value.cast<double>();
  } catch (const py::cast_error&) {
    throw py::type_error(where + ": " + what + " must be a number; got " +
                         py::repr(value).cast<std::string>());
  }
  if (!std::isfinite(x) || x < least)
    throw py::value_error(where + ": " + what + " must be a number of at least " +
                          ExactText(least) + "; got " + py::repr(value).cast<std::string>());
  return x;
}

// One entry of the colours dict: (name, kind, value[, loss tangent]) or a dict with the keys
// name, kind, resistivity (conductors, ohm m), permittivity and loss_tangent (insulators).
UserColour ColourEntry(std::uint32_t rgb, py::handle entry) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%06X", rgb);
  const std::string where = std::string("usermap: colour ") + hex;
  UserColour colour;
  colour.rgb = rgb;
  py::object name, kind, value, lossTangent;
  if (py::isinstance<py::dict>(entry)) {
    py::dict d = py::reinterpret_borrow<py::dict>(entry);
    for (const auto& [k, v] : d) {
      const std::string key = py::str(k).cast<std::string>();
      if (key != "name" && key != "kind" && key != "resistivity" && key != "permittivity" &&
          key != "loss_tangent")
        throw py::type_error(where + ": unknown key '" + key +
                             "'; the keys are name, kind, resistivity, permittivity, loss_tangent");
    }
    name = d.contains("name") ? py::object(d["name"]) : py::none();
    kind = d.contains("kind") ? py::object(d["kind"]) : py::none();
    value = d.contains("resistivity")    ? py::object(d["resistivity"])
            : d.contains("permittivity") ? py::object(d["permittivity"])
                                         : py::none();
    lossTangent = d.contains("loss_tangent") ? py::object(d["loss_tangent"]) : py::none();
  } else if (py::isinstance<py::tuple>(entry) && py::len(entry) >= 3 && py::len(entry) <= 4) {
    py::tuple t = py::reinterpret_borrow<py::tuple>(entry);
    name = t[0];
    kind = t[1];
    value = t[2];
    lossTangent = py::len(t) == 4 ? py::object(t[3]) : py::none();
  } else {
    throw py::type_error(where +
                         ": give (name, kind, resistivity) for a conductor, (name, \"insulator\", "
                         "permittivity[, loss_tangent]) for an insulator, or a dict; got " +
                         py::repr(entry).cast<std::string>());
  }
  if (!py::isinstance<py::str>(name))
    throw py::type_error(where + ": the name must be a str; got " +
                         py::repr(name).cast<std::string>());
  colour.name = name.cast<std::string>();
  const std::string k = py::str(kind).cast<std::string>();
  if (k == "+1" || k == "1") {
    colour.kind = 1;
  } else if (k == "0" || k == "ground") {
    colour.kind = 0;
  } else if (k == "-1") {
    colour.kind = -1;
  } else if (k == "float" || k == "floating" || k == "2") {
    colour.kind = 2;
  } else if (k == "insulator" || k == "3") {
    colour.kind = 3;
  } else {
    throw py::value_error(where +
                          ": kind must be \"+1\", \"0\" (ground), \"-1\", \"float\" or "
                          "\"insulator\"; got " +
                          py::repr(kind).cast<std::string>());
  }
  if (value.is_none())
    throw py::value_error(where + (colour.kind == 3 ? ": an insulator needs its permittivity"
                                                    : ": a conductor needs its resistivity"));
  if (colour.kind == 3) {
    colour.permittivity = PositiveNumber(where, "permittivity", value, 1.0);
    if (!lossTangent.is_none())
      colour.lossTangent = PositiveNumber(where, "loss_tangent", lossTangent, 0.0);
  } else {
    colour.resistivity = PositiveNumber(where, "resistivity (ohm m)", value, 0.0);
    if (!lossTangent.is_none()) throw py::value_error(where + ": a conductor has no loss tangent");
  }
  return colour;
}

std::vector<UserColour> Colours(py::handle colours) {
  std::vector<UserColour> list;
  if (colours.is_none()) return list;
  if (!py::isinstance<py::dict>(colours))
    throw py::type_error("usermap: colours must be a dict {colour: (name, kind, value)}; got " +
                         py::repr(colours).cast<std::string>());
  for (const auto& [key, entry] : py::reinterpret_borrow<py::dict>(colours))
    list.push_back(ColourEntry(ColourKey(key), entry));
  return list;
}

Core MakeUsermap(py::object source, py::object pixelWidth, py::object colours, py::object name,
                 py::object frequency, py::object folder) {
  std::vector<UserColour> userColours = Colours(colours);
  std::string widthText;
  if (!pixelWidth.is_none()) widthText = LengthText("usermap", "pixel_width", pixelWidth);
  if (!name.is_none() && !py::isinstance<py::str>(name))
    throw py::type_error("usermap: name must be a str; got " + py::repr(name).cast<std::string>());
  std::optional<double> hertz;
  if (!frequency.is_none()) hertz = FrequencyHz("usermap", "frequency", frequency);

  auto core = std::make_shared<SectionCore>(GeomUsermap, NewSessionOptions(folder));
  std::string refusal;
  const bool isPath = py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__");
  if (isPath) {
    const std::string path =
        py::str(py::module_::import("os").attr("fspath")(source)).cast<std::string>();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
      throw py::value_error("usermap: no picture file \"" + path + "\"");
    // Colours of its own for this map: the picture goes in as pixels, named after its file so
    // that a pixel width in the name still counts.
    std::optional<RgbImage> image;
    if (!userColours.empty()) {
      try {
        image = DecodeImageFile(path);
      } catch (const ImageError& e) {
        throw py::value_error("usermap: cannot read \"" + path + "\": " + e.what());
      }
    }
    WithSession(*core, [&](Session& s) {
      try {
        if (image) {
          std::vector<std::uint8_t> rgb(image->pixels.size() * 3);
          for (std::size_t i = 0; i < image->pixels.size(); ++i) {
            const std::uint32_t p = image->pixels[i];  // R + 256 G + 65536 B
            rgb[3 * i] = p & 0xFF;
            rgb[3 * i + 1] = (p >> 8) & 0xFF;
            rgb[3 * i + 2] = (p >> 16) & 0xFF;
          }
          const double width = widthText.empty() ? 0.0 : ReadLength(widthText);
          s.LoadPixels(std::filesystem::path(path).filename().string(), image->width, image->height,
                       rgb.data(), width, userColours);
        } else {
          s.LoadUsermap(path);
          if (!widthText.empty()) s.SetField(EditBoxPixelWidth, widthText);
        }
        if (!name.is_none()) s.SetField(EditBoxName, name.cast<std::string>());
        if (hertz) s.SetFrequencyHz(*hertz);
      } catch (const SessionError& e) {
        refusal = e.what();
      }
    });
  } else {
    py::module_ numpy = py::module_::import("numpy");
    py::array array = numpy.attr("asarray")(source);
    if (array.dtype().attr("name").cast<std::string>() != "uint8")
      throw py::type_error(
          "usermap: a picture array must have dtype uint8 and shape (height, "
          "width, 3); got dtype " +
          py::str(array.dtype()).cast<std::string>());
    if (array.ndim() != 3 || array.shape(2) != 3 || array.shape(0) < 1 || array.shape(1) < 1)
      throw py::value_error(
          "usermap: a picture array must have the shape (height, width, 3); got " +
          py::str(py::object(array.attr("shape"))).cast<std::string>());
    auto pixels = py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>(array);
    const int height = static_cast<int>(pixels.shape(0)), width = static_cast<int>(pixels.shape(1));
    const std::string mapName = name.is_none() ? "array" : name.cast<std::string>();
    const double metres = widthText.empty() ? 0.0 : ReadLength(widthText);
    const std::uint8_t* data = pixels.data();
    WithSession(*core, [&](Session& s) {
      try {
        s.LoadPixels(mapName, width, height, data, metres, userColours);
        if (hertz) s.SetFrequencyHz(*hertz);
      } catch (const SessionError& e) {
        refusal = e.what();
      }
    });
  }
  if (!refusal.empty()) throw py::value_error("usermap: " + refusal);
  return core;
}

std::string FigureText(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", x);
  return buffer;
}

std::string ResultRepr(const ResultData& r) {
  const SessionFigures& f = r.figures;
  std::string text = "<zolva.Result " + r.what + ":";
  if (f.coupled) {
    text += " coupled, " + std::to_string(f.matrices.n) + " conductors";
    if (f.modes.symmetricPair)
      text += ", Zdiff=" + FigureText(f.modes.Zdiff) + " ohm Zcomm=" + FigureText(f.modes.Zcomm) +
              " ohm";
    return text + ">";
  }
  if (f.haveL) text += " L=" + FigureText(f.L) + " H/m Rs=" + FigureText(f.Rs) + " ohm/m";
  if (f.haveC) text += " C=" + FigureText(f.C) + " F/m Gp=" + FigureText(f.Gp) + " S/m";
  text += " Zo=" + FigureText(f.Zo) + " ohm vf=" + FigureText(f.vf) + ">";
  return text;
}

py::object Optional(bool have, double value) {
  return have ? py::object(py::float_(value)) : py::object(py::none());
}

}  // namespace

}  // namespace zolva::python

using namespace zolva;
using namespace zolva::python;

PYBIND11_MODULE(_zolva, m) {
  m.doc() =
      "The compiled core of the zolva module; import zolva instead, which adds the progress bar "
      "and the scikit-rf networks.";

  py::register_exception<SolveError>(m, "SolveError", PyExc_RuntimeError);
  m.attr("SolveError").attr("__doc__") =
      "A solve that failed or was stopped. A RuntimeError; its message is the text the desktop "
      "program would show.";

  py::class_<Field>(m, "Field",
                    "A field on the core grid of a solve. values[j, i] is the node at x[i], y[j] "
                    "(metres; y grows downwards, as in the picture). np.asarray(field) gives "
                    "values.")
      .def_property_readonly("values", &FieldValues,
                             "The values, a read-only 2-D numpy array (height, width) that shares "
                             "the solve's memory; in the unit `unit`.")
      .def_property_readonly(
          "x", [](const Field& f) { return Coordinates(f.grid->x0, f.grid->dx, f.grid->width); },
          "x of each column, m.")
      .def_property_readonly(
          "y", [](const Field& f) { return Coordinates(f.grid->y0, f.grid->dx, f.grid->height); },
          "y of each row, m (downwards).")
      .def_property_readonly(
          "dx", [](const Field& f) { return f.grid->dx; }, "The node spacing, m.")
      .def_readonly("quantity", &Field::quantity, "What the values are.")
      .def_readonly("unit", &Field::unit, "The unit of the values.")
      .def(
          "__array__",
          [](const Field& f, py::object dtype) {
            py::array values = FieldValues(f);
            return dtype.is_none() ? values : py::array(values.attr("astype")(dtype));
          },
          "dtype"_a = py::none(), "The values as a numpy array.")
      .def("__repr__", [](const Field& f) {
        return "<zolva.Field " + f.quantity + " (" + f.unit + "), " +
               std::to_string(f.grid->width) + " x " + std::to_string(f.grid->height) +
               " nodes, dx=" + FigureText(f.grid->dx) + " m>";
      });

  py::class_<Estimate>(m, "Estimate",
                       "The discretisation error of one figure, from solves at finer pixel sizes.")
      .def_readonly("raw", &Estimate::raw, "The figure as solved, in the figure's unit.")
      .def_readonly("extrapolated", &Estimate::extrapolated,
                    "The figure extrapolated to a vanishing pixel size, in the figure's unit.")
      .def_readonly("relative_error", &Estimate::relativeError,
                    "The error of the raw figure as a fraction of the extrapolated one (positive "
                    "when the raw figure is too large); 0.01 is 1 %.")
      .def("__repr__", [](const Estimate& e) {
        return "<zolva.Estimate raw=" + FigureText(e.raw) +
               " extrapolated=" + FigureText(e.extrapolated) +
               " relative_error=" + FigureText(e.relativeError) + ">";
      });

  py::class_<Peak>(m, "PeakField", "The strongest field of a C and Gp solve, per volt of drive.")
      .def_readonly("volts_per_metre", &Peak::voltsPerMetre, "The peak field, V/m per volt.")
      .def_readonly("x", &Peak::x, "The pixel's column in the map.")
      .def_readonly("y", &Peak::y, "The pixel's row in the map.")
      .def_readonly("material", &Peak::material, "The insulator there.")
      .def_readonly("strength", &Peak::strength, "Its dielectric strength, V/m.")
      .def_readonly("breakdown_volts", &Peak::breakdownVolts,
                    "The drive at which the peak reaches the strength, V.")
      .def("__repr__", [](const Peak& p) {
        return "<zolva.PeakField " + FigureText(p.voltsPerMetre) + " V/m per V in " + p.material +
               " at (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")>";
      });

  py::class_<SectionCore, std::shared_ptr<SectionCore>>(
      m, "Section",
      "A cross-section of a line: made by zolva.coax(), zolva.twinlead(), "
      "zolva.square_twinlead() or zolva.usermap(). Every figure is per metre of line, in SI "
      "units.")
      .def("_solve", &Solve, "what"_a = "full", "frequency"_a = py::none(),
           "threads"_a = py::none(), "estimate"_a = false, "coupled"_a = false,
           "progress"_a = py::none(), "The solve itself; use solve(), which adds the progress bar.")
      .def("_coupled_network", &CoupledNetwork, "frequencies"_a, "length"_a, "z0"_a,
           "progress"_a = py::none(),
           "The frequencies and the 2N-port S matrices of a length of the coupled lines.")
      .def("_rlgc", &Rlgc, "frequencies"_a, "progress"_a = py::none(),
           "The RLGC solves as arrays; use rlgc().")
      .def("set", &SetKeywords,
           "Changes keywords of a generated cross-section (those of the function that made it, "
           "in the same units) and draws it again. Raises ValueError when the generator refuses "
           "them; the section is then left as it was.")
      .def(
          "command",
          [](const Core& core, const std::string& line) {
            std::string refusal;
            WithSession(*core, [&](Session& s) {
              try {
                s.RunCommand(line);
              } catch (const SessionError& e) {
                refusal = e.what();
              }
              ++core->changes;
            });
            if (!refusal.empty()) throw py::value_error("command \"" + line + "\": " + refusal);
          },
          "line"_a,
          "Runs one script command on the section, such as \"PIX 0.1mm\" or \"DEB 33 T\" (see "
          "the manual's script commands). Raises ValueError with the script's message when it "
          "fails.")
      .def_property_readonly(
          "kind", [](const Core& core) { return std::string(KindName(core->kind)); },
          "\"coax\", \"twinlead\", \"square_twinlead\" or \"usermap\".")
      .def_property_readonly(
          "pixel_width",
          [](const Core& core) {
            return WithSession(*core, [](Session& s) { return s.context().state.pixelWidth; });
          },
          "The width of one pixel of the map as it stands, m (0 when not known).")
      .def_property_readonly(
          "size",
          [](const Core& core) {
            return WithSession(*core, [](Session& s) {
              return std::make_pair(s.context().map.Uwid, s.context().map.Uhei);
            });
          },
          "The map's (width, height) in pixels.")
      .def_property_readonly(
          "conductor_pixels",
          [](const Core& core) {
            return WithSession(*core, [](Session& s) { return s.context().map.condCount; });
          },
          "How many conductor pixels the map holds.")
      .def("__repr__", [](const Core& core) {
        const auto [w, h, width] = WithSession(*core, [](Session& s) {
          return std::make_tuple(s.context().map.Uwid, s.context().map.Uhei,
                                 s.context().state.pixelWidth);
        });
        return "<zolva.Section " + std::string(KindName(core->kind)) + ", " + std::to_string(w) +
               " x " + std::to_string(h) + " pixels of " + FigureText(width) + " m>";
      });

  py::class_<Matrices>(m, "Matrices",
                       "The per-metre matrices of coupled lines: n x n numpy arrays, row i and "
                       "column j for the conductors names[i] and names[j]; C and G are Maxwell "
                       "matrices (negative off the diagonal: the mutual capacitance is -C[i, j]).")
      .def_readonly("C", &Matrices::C, "Capacitance matrix, F/m.")
      .def_readonly("G", &Matrices::G, "Conductance matrix, S/m.")
      .def_readonly("L", &Matrices::L, "Inductance matrix, H/m.")
      .def_readonly("R", &Matrices::R, "Resistance matrix, ohm/m.")
      .def_readonly("names", &Matrices::names,
                    "The conductors' numbers, as the picture shows them, as texts.")
      .def_readonly("frequency", &Matrices::frequency, "The frequency of L and R, Hz.")
      .def("__repr__", [](const Matrices& x) {
        return "<zolva.Matrices of " + std::to_string(x.names.size()) + " conductors at " +
               FigureText(x.frequency) + " Hz>";
      });
  py::class_<Modes>(m, "Modes",
                    "The modes of coupled lines without loss, from L and C, and the crosstalk "
                    "coefficients of every pair.")
      .def_readonly("Zodd", &Modes::Zodd,
                    "The odd mode's impedance of a symmetric pair, ohm per conductor; else None.")
      .def_readonly("Zeven", &Modes::Zeven,
                    "The even mode's impedance of a symmetric pair, ohm per conductor; else None.")
      .def_readonly("Zdiff", &Modes::Zdiff,
                    "Differential impedance 2 Zodd of a symmetric pair, ohm; else None.")
      .def_readonly("Zcomm", &Modes::Zcomm,
                    "Common-mode impedance Zeven / 2 of a symmetric pair, ohm; else None.")
      .def_readonly("vf_odd", &Modes::vfOdd, "The odd mode's velocity factor, or None.")
      .def_readonly("vf_even", &Modes::vfEven, "The even mode's velocity factor, or None.")
      .def_readonly("Kb", &Modes::Kb,
                    "Backward (near-end) crosstalk coefficients (Lm/L + Cm/C) / 4 per pair, "
                    "n x n, no unit (0 on the diagonal).")
      .def_readonly("Kf", &Modes::Kf,
                    "Forward (far-end) crosstalk coefficients (Cm/C - Lm/L) / (2 v) per pair, "
                    "n x n, s/m of coupled length: the far-end amplitude is Kf length / rise "
                    "time.")
      .def_readonly("vf", &Modes::vf, "The modes' velocity factors, the fastest first.")
      .def_readonly("voltages", &Modes::voltages,
                    "The modes' conductor voltages, column k for mode k, largest entry +1.")
      .def_readonly("Zc", &Modes::Zc,
                    "The characteristic impedance matrix, n x n, ohm: the voltages of a wave "
                    "travelling one way are Zc times its currents.")
      .def("__repr__", [](const Modes& x) {
        std::string text = "<zolva.Modes of " + std::to_string(x.vf.size()) + " conductors";
        if (!x.Zdiff.is_none())
          text += ": Zdiff " + FigureText(x.Zdiff.cast<double>()) + " ohm, Zcomm " +
                  FigureText(x.Zcomm.cast<double>()) + " ohm";
        return text + ">";
      });

  py::class_<ResultData, std::shared_ptr<ResultData>>(
      m, "Result",
      "The figures of one solve, per metre of line in SI units. A figure the solves have not "
      "reached yet is None.")
      .def_property_readonly(
          "C", [](const ResultData& r) { return Optional(r.figures.haveC, r.figures.C); },
          "Capacitance, F/m.")
      .def_property_readonly(
          "Gp", [](const ResultData& r) { return Optional(r.figures.haveC, r.figures.Gp); },
          "Conductance of the dielectric loss, S/m, at the frequency.")
      .def_property_readonly(
          "L", [](const ResultData& r) { return Optional(r.figures.haveL, r.figures.L); },
          "Inductance, H/m, at the frequency.")
      .def_property_readonly(
          "Rs", [](const ResultData& r) { return Optional(r.figures.haveL, r.figures.Rs); },
          "Series resistance of the skin effect, ohm/m, at the frequency.")
      .def_property_readonly(
          "Zo", [](const ResultData& r) { return Optional(!r.figures.coupled, r.figures.Zo); },
          "Characteristic impedance of the lossless line, ohm (from L and C; from one of them "
          "and an assumed velocity factor when the other is not solved); None for coupled lines, "
          "whose impedances are in modes.")
      .def_property_readonly(
          "vf", [](const ResultData& r) { return Optional(!r.figures.coupled, r.figures.vf); },
          "Velocity factor: the speed of the wave over the speed of light, 0 to 1; None for "
          "coupled lines (modes.vf).")
      .def_property_readonly(
          "VoC", [](const ResultData& r) { return Optional(r.figures.haveC, r.figures.VoC); },
          "The potential of the -1 conductor of the balanced open line, V.")
      .def_property_readonly(
          "Qdif", [](const ResultData& r) { return Optional(r.figures.haveC, r.figures.Qdif); },
          "Charge imbalance of the C solve, percent.")
      .def_property_readonly(
          "frequency", [](const ResultData& r) { return r.figures.frequencyHz; },
          "The frequency of the L and Rs solve, Hz.")
      .def_property_readonly(
          "pixel_width", [](const ResultData& r) { return r.figures.pixelWidth; },
          "The pixel width the map was solved at, m.")
      .def_property_readonly(
          "estimate",
          [](const ResultData& r) {
            py::dict d;
            for (int i = 0; i < kFigureCount; ++i) {
              const FigureEstimate& e = r.figures.estimate[i];
              if (e.valid) d[kFigureNames[i]] = Estimate{e.raw, e.extrapolated, e.relativeError};
            }
            return d;
          },
          "The error estimate of each figure (solve(estimate=True)): a dict from \"C\", \"Gp\", "
          "\"L\", \"Rs\", \"Zo\", \"vf\" to zolva.Estimate; empty without an estimate.")
      .def_property_readonly(
          "peak_field",
          [](const ResultData& r) -> py::object {
            const PeakField& p = r.figures.peak;
            if (!p.valid) return py::none();
            return py::cast(
                Peak{p.voltsPerMetre, p.x, p.y, p.material, p.strength, p.breakdownVolts});
          },
          "The strongest field of the C and Gp solve (zolva.PeakField), or None.")
      .def_property_readonly(
          "notes", [](const ResultData& r) { return r.figures.notes; },
          "What the user should know about the solve, as texts.")
      .def_property_readonly(
          "summary", [](const ResultData& r) { return r.figures.summary; },
          "The one-line summary of the results log.")
      .def_readonly("what", &ResultData::what, "What was solved: \"full\", \"C\" or \"L\".")
      .def_readonly("seconds", &ResultData::seconds, "How long the solve took, s.")
      .def_property_readonly(
          "coupled", [](const ResultData& r) { return r.figures.coupled; },
          "True for the matrices of coupled lines (solve(coupled=True)).")
      .def_property_readonly(
          "matrices",
          [](const ResultData& r) -> py::object {
            if (!r.figures.coupled) return py::none();
            return py::cast(MatricesOf(r.figures.matrices));
          },
          "The per-metre matrices of coupled lines (zolva.Matrices), or None.")
      .def_property_readonly(
          "modes",
          [](const ResultData& r) -> py::object {
            if (!r.figures.coupled || r.figures.modes.n == 0) return py::none();
            return py::cast(ModesOf(r.figures.modes));
          },
          "The lossless modes and the crosstalk coefficients of coupled lines (zolva.Modes), or "
          "None.")
      .def_readonly("section", &ResultData::core, "The zolva.Section solved.")
      .def_property_readonly(
          "potential",
          [](const ResultData& r) -> py::object {
            if (!r.potential) return py::none();
            return py::cast(Field{r.potential, "potential", "V"});
          },
          "The potential of the C and Gp solve on the core grid (zolva.Field, V, for the drive "
          "the solve used), or None.")
      .def_property_readonly(
          "current_density",
          [](const ResultData& r) -> py::object {
            if (!r.current) return py::none();
            return py::cast(Field{r.current, "current density", "A/m^2 per A"});
          },
          "The magnitude of the current density of the L and Rs solve on the core grid "
          "(zolva.Field, A/m^2 per ampere), or None.")
      .def("picture", &Picture, "mode"_a = 0,
           "The field picture as an RGB numpy array (height, width, 3) of uint8. mode: 0 to 7 or "
           "\"map\", \"V\", \"E\", \"D\", \"loss\", \"equipotentials\", \"both\", \"E lines\". "
           "Raises zolva.SolveError when the section has changed since this result.")
      .def("__repr__", &ResultRepr);

  m.def(
      "_generated",
      [](int kind, const py::kwargs& keywords) {
        return MakeGenerated(static_cast<GeometryKind>(kind), keywords);
      },
      "The generated cross-sections; use coax(), twinlead() or square_twinlead().");
  m.def("_keyword_help", [](int kind) { return KeywordHelp(static_cast<GeometryKind>(kind)); });
  m.def("usermap", &MakeUsermap, "source"_a, "pixel_width"_a = py::none(), "colours"_a = py::none(),
        "name"_a = py::none(), "frequency"_a = py::none(), "folder"_a = py::none(),
        R"(A drawn cross-section (a Usermap).

source: the path of a BMP, PNG, TIFF or JPEG picture, or a numpy array (height, width, 3) of
    uint8 RGB values.
pixel_width: the width of one pixel: metres, or a text such as "0.05mm". Default: the width the
    file name gives in its last parentheses ("Usermap strip (0.05mm).png").
colours: materials of colours of your own, a dict from a colour (0xRRGGBB, (r, g, b) or
    "#RRGGBB") to (name, kind, resistivity) for a conductor, kind "+1", "0" (ground), "-1" or
    "float", resistivity in ohm m; or (name, "insulator", permittivity[, loss_tangent]); or a dict
    with the keys name, kind, resistivity, permittivity, loss_tangent.
name: the run name (an array's map name, default "array").
frequency: the frequency of the L and Rs solve, Hz.
folder: the program folder (MoreColors.txt is read there); default: the working folder.

Raises ValueError when the picture cannot be read or is refused (the message says why),
TypeError for arguments of the wrong type.)");
  m.def(
      "length_in_metres",
      [](const std::string& text) {
        const std::string checked = LengthText("length_in_metres", "text", py::str(text));
        return ReadLength(checked);
      },
      "text"_a,
      "A length text as the panel reads it (\"0.2mm\", \"12 AWG\", \"1.5\" in inches), in "
      "metres. Raises ValueError for a text that is no length.");
  m.attr("GEOM_TWINLEAD") = static_cast<int>(GeomTwinlead);
  m.attr("GEOM_SQUARE_TWINLEAD") = static_cast<int>(GeomSquareTwinlead);
  m.attr("GEOM_COAX") = static_cast<int>(GeomCoaxial);
}
