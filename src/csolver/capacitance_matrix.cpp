// One field solve per driven conductor on a shared grid and hierarchy, and the charges of every
// conductor from the flux of each solved field (see capacitance_matrix.h).
#include "csolver/capacitance_matrix.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/conductor_numbering.h"
#include "core/material_check.h"
#include "core/materials.h"
#include "csolver/capacitance_job.h"
#include "csolver/charge_distribution.h"
#include "csolver/field_solve.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"

namespace zolva {

namespace {

constexpr double kEpsilon0 = 8.854187827e-12;  // farad per metre
constexpr std::uint8_t kFieldBits = NodeFree | NodeFreeMixed | NodeConductor;

// The kinds of the map's signal pixels for one drive: the driven conductor at +1, every other
// numbered conductor with the ground at 0. Restores the map's own kinds when it ends.
class DriveKinds {
 public:
  DriveKinds(PixelMap& map, const ConductorNumbering& numbering)
      : map_(map), numbering_(numbering), kinds_(map.Ukind) {}
  ~DriveKinds() { map_.Ukind = kinds_; }
  DriveKinds(const DriveKinds&) = delete;
  DriveKinds& operator=(const DriveKinds&) = delete;

  void Drive(int conductor) {
    for (std::size_t p = 0; p < kinds_.size(); ++p) {
      const std::int8_t k = kinds_[p];
      if (k != KindPlus && k != KindMinus) continue;
      map_.Ukind[p] = numbering_.number[p] == conductor ? KindPlus : KindGround;
    }
  }

 private:
  PixelMap& map_;
  const ConductorNumbering& numbering_;
  std::vector<std::int8_t> kinds_;
};

// The conductor number of every core node (0: no numbered conductor).
std::vector<std::int16_t> NodeLabels(const CapacitanceJob& job, const ConductorNumbering& num) {
  const SolverGrid& g = job.grid;
  std::vector<std::int16_t> label(
      static_cast<std::size_t>(g.Cwid) * static_cast<std::size_t>(g.Chei), 0);
  const std::vector<std::int8_t>& kind = job.map.Ukind;
  for (int y = 0; y < num.height; ++y) {
    for (int x = 0; x < num.width; ++x) {
      const std::size_t p = static_cast<std::size_t>(y) * static_cast<std::size_t>(num.width) +
                            static_cast<std::size_t>(x);
      const int k = num.number[p];
      if (k == 0 || (kind[p] != KindPlus && kind[p] != KindMinus)) continue;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const int cX = x + g.UtoCX + dx, cY = y + g.UtoCY + dy;
          if (cX < 0 || cY < 0 || cX >= g.Cwid || cY >= g.Chei)
            throw std::out_of_range("capacitance matrices: pixel " + std::to_string(x) + "," +
                                    std::to_string(y) + " outside the core");
          label[static_cast<std::size_t>(cY) * static_cast<std::size_t>(g.Cwid) +
                static_cast<std::size_t>(cX)] = static_cast<std::int16_t>(k);
        }
      }
    }
  }
  return label;
}

// The charge on every numbered conductor (index k - 1) per unit permittivity of vacuum: the flux
// through every cell edge that leaves a conductor's node, weighted by half the permittivity of each
// of the two cells the edge borders. These are the links of the difference equations, so at a
// converged field the sums over the free nodes vanish and the charges are those of the discrete
// system.
void Charges(const CapacitanceJob& job, const std::vector<std::int16_t>& label, int count,
             std::vector<double>& q) {
  const SolverGrid& g = job.grid;
  q.assign(static_cast<std::size_t>(count), 0.0);
  std::array<double, 256> eps{};
  for (int m = 0; m < 256; ++m)
    eps[static_cast<std::size_t>(m)] = PalettePermittivity(job.materials, m);
  const std::size_t W = static_cast<std::size_t>(g.Cwid);
  const std::vector<double>& V = g.Cvolts;
  auto edge = [&](std::size_t a, std::size_t b, double e) {
    const int la = label[a], lb = label[b];
    if (la == lb) return;
    if (!(g.Ccode[a] & kFieldBits) || !(g.Ccode[b] & kFieldBits)) return;
    const double d = V[a] - V[b];
    if (la > 0) q[static_cast<std::size_t>(la - 1)] += e * d;
    if (lb > 0) q[static_cast<std::size_t>(lb - 1)] -= e * d;
  };
  for (int y = 0; y + 1 < g.Chei; ++y) {
    for (int x = 0; x + 1 < g.Cwid; ++x) {
      const std::size_t a = static_cast<std::size_t>(y) * W + static_cast<std::size_t>(x);
      const std::size_t b = a + 1, c = a + W, d = c + 1;
      // Cells whose corners carry no conductor label add nothing; most cells are such.
      if ((label[a] | label[b] | label[c] | label[d]) == 0) continue;
      const std::uint8_t m = g.Cmat[a];
      const double e = eps[m] / 2;
      edge(a, b, e);
      edge(c, d, e);
      edge(a, c, e);
      edge(b, d, e);
    }
  }
}

// The charge of each floating colour's conductor, summed as Charges sums it over the cells next
// to its nodes.
std::function<double(int, const double*)> FloatCharges(const CapacitanceJob& job) {
  const SolverGrid& g = job.grid;
  const PixelMap& map = job.map;
  const std::size_t W = static_cast<std::size_t>(g.Cwid);
  auto label = std::make_shared<std::vector<std::int16_t>>(W * static_cast<std::size_t>(g.Chei),
                                                           std::int16_t{-1});
  auto cells = std::make_shared<std::vector<std::vector<std::size_t>>>(kPaletteCapacity);
  for (int y = 0; y < map.Uhei; ++y) {
    for (int x = 0; x < map.Uwid; ++x) {
      const std::size_t p = static_cast<std::size_t>(y) * static_cast<std::size_t>(map.Uwid) +
                            static_cast<std::size_t>(x);
      if (map.Ukind[p] != KindFloat) continue;
      const int colour = map.Uindex[p];
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const int cX = x + g.UtoCX + dx, cY = y + g.UtoCY + dy;
          if (cX < 1 || cY < 1 || cX >= g.Cwid - 1 || cY >= g.Chei - 1) continue;
          const std::size_t n = static_cast<std::size_t>(cY) * W + static_cast<std::size_t>(cX);
          (*label)[n] = static_cast<std::int16_t>(colour);
          for (std::size_t cell : {n, n - 1, n - W, n - W - 1})
            (*cells)[static_cast<std::size_t>(colour)].push_back(cell);
        }
    }
  }
  for (std::vector<std::size_t>& list : *cells) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
  }
  std::array<double, 256> eps{};
  for (int m = 0; m < 256; ++m)
    eps[static_cast<std::size_t>(m)] = PalettePermittivity(job.materials, m);
  return [&g, label, cells, eps, W](int colour, const double* V) {
    double q = 0.0;
    const std::vector<std::int16_t>& l = *label;
    auto edge = [&](std::size_t a, std::size_t b, double e) {
      const bool ina = l[a] == colour, inb = l[b] == colour;
      if (ina == inb) return;
      if (!(g.Ccode[a] & kFieldBits) || !(g.Ccode[b] & kFieldBits)) return;
      q += (ina ? e : -e) * (V[a] - V[b]);
    };
    for (std::size_t a : (*cells).at(static_cast<std::size_t>(colour))) {
      const double e = eps[g.Cmat[a]] / 2;
      edge(a, a + 1, e);
      edge(a + W, a + W + 1, e);
      edge(a, a + W, e);
      edge(a + 1, a + W + 1, e);
    }
    return q;
  };
}

void Refuse(const CapacitanceJob& job, const std::string& text) {
  Fail(job.failure, FailureKind::Input, text, "Solving for C and Gp");
  job.state.operationFailed = true;
  job.state.abortRequested = true;
}

}  // namespace

bool SolveCapacitanceMatrices(const CapacitanceJob& job, const ConductorNumbering& num,
                              CapacitanceMatrices& out) {
  SolveState& s = job.state;
  SolverGrid& g = job.grid;
  PixelMap& map = job.map;
  if (num.width != map.Uwid || num.height != map.Uhei || num.number.size() != map.Ukind.size())
    throw std::out_of_range("capacitance matrices: the numbering does not belong to the map");
  const Results before = job.results;
  g.solveStartTime = job.platform.Now();
  s.abortRequested = false;
  s.windowClosing = false;
  job.fieldReady = false;
  if (const std::string bad = NonPhysicalMaterialText(job.materials); !bad.empty()) {
    Refuse(job, bad);
    return false;
  }
  ResetGrid(g, job.fieldReady);
  g.surfaceCount = 0;
  BuildEdgeFactors(g);
  if (!SizeGrid(job)) return false;

  // The conductors driven in turn: every signal conductor; in an open map without ground the
  // reference too, against the far field.
  const int count = num.count();
  const bool reduce = num.reference > 0 && g.openBoundary;
  std::vector<int> drives;
  for (int k = 1; k <= count; ++k)
    if (k != num.reference || reduce) drives.push_back(k);
  const std::size_t D = drives.size();

  CapacitanceMatrices result;
  // Cf[d * count + (j - 1)]: charge on conductor j when drive d is at 1 volt.
  std::vector<double> Cf(D * static_cast<std::size_t>(count), 0.0);
  std::vector<double> Gf(Cf.size(), 0.0);
  const double omega = s.frequencyMHz * kOmegaPerMHz;
  bool lossy = false;
  for (int m = 0; m < std::min(job.materials.palette.count, kPaletteCapacity); ++m)
    if (!PaletteIsConductor(job.materials, m) && PaletteTanDelta(job.materials, m) > 0.0)
      lossy = true;
  // Labelled from the map's own kinds, before a drive sets some signal metal to ground.
  const std::vector<std::int16_t> label = NodeLabels(job, num);
  {
    DriveKinds kinds(map, num);
    std::vector<std::uint8_t> codes, apronCodes;
    std::unique_ptr<FieldSolver> solver;
    // The fields of the drives so far (core, apron) and their loss sums, when a loss is there
    // to be summed.
    std::vector<std::pair<std::vector<double>, std::vector<double>>> fields;
    std::vector<double> T;
    for (std::size_t d = 0; d < D; ++d) {
      kinds.Drive(drives[d]);
      job.report.ShowStep("Relaxing electric fields, conductor " + std::to_string(drives[d]) +
                          " at 1 volt.  ");
      if (!DistributeCharge(job)) {
        job.results = before;
        return false;
      }
      ReduceNodeCodes(g);
      if (d == 0) {
        BuildRelaxPlan(job);
        codes = g.Ccode;
        apronCodes = g.Acode;
        solver = std::make_unique<FieldSolver>(job);
        job.fieldReady = true;
        solver->floatCharge = FloatCharges(job);
      } else if (g.Ccode != codes || g.Acode != apronCodes) {
        throw std::logic_error("capacitance matrices: the node codes changed between drives");
      }
      const FieldSolveEnd end = solver->Solve(job, true);
      result.iterations += g.solveStats.iterations;
      ++result.solves;
      if (end != FieldSolveEnd::Converged) {
        job.results = before;
        if (end == FieldSolveEnd::Failed)
          Refuse(job, "The field solve of conductor " + std::to_string(drives[d]) +
                          " did not reach its tolerance in " +
                          std::to_string(job.options.iterationLimit) +
                          " iterations. The previous results are kept.");
        s.abortRequested = true;
        return false;
      }
      std::vector<double> q;
      Charges(job, label, count, q);
      for (int j = 0; j < count; ++j)
        Cf[d * static_cast<std::size_t>(count) + static_cast<std::size_t>(j)] =
            kEpsilon0 * q[static_cast<std::size_t>(j)];
      // G from the power lost in the dielectrics: G_de = omega epsilon0 B(U_d, U_e) / 2 with B
      // the loss-weighted bilinear form of the cell sums, B(U, V) = (T(U + V) - T(U) - T(V)) / 2.
      if (!lossy) continue;
      fields.push_back({g.Cvolts, g.apronActive ? g.Avolts : std::vector<double>{}});
      const double Td = SumFieldCells(job, g.Cvolts, g.Avolts).T;
      T.push_back(Td);
      const double gain = omega * kEpsilon0 / 2;
      Gf[d * static_cast<std::size_t>(count) + static_cast<std::size_t>(drives[d] - 1)] = gain * Td;
      for (std::size_t e = 0; e < d; ++e) {
        std::vector<double> core = fields[e].first, apron = fields[e].second;
        for (std::size_t i = 0; i < core.size(); ++i) core[i] += g.Cvolts[i];
        for (std::size_t i = 0; i < apron.size(); ++i) apron[i] += g.Avolts[i];
        const double mutual = gain * (SumFieldCells(job, core, apron).T - Td - T[e]) / 2;
        Gf[d * static_cast<std::size_t>(count) + static_cast<std::size_t>(drives[e] - 1)] = mutual;
        Gf[e * static_cast<std::size_t>(count) + static_cast<std::size_t>(drives[d] - 1)] = mutual;
      }
    }
  }
  // The square matrix over the driven conductors, as solved.
  auto at = [&](const std::vector<double>& m, std::size_t d, std::size_t e) {
    return m[d * static_cast<std::size_t>(count) + static_cast<std::size_t>(drives[e] - 1)];
  };
  double diagonal = 0.0, skew = 0.0;
  for (std::size_t i = 0; i < D; ++i) {
    diagonal = std::max(diagonal, std::fabs(at(Cf, i, i)));
    for (std::size_t j = 0; j < D; ++j)
      skew = std::max(skew, std::fabs(at(Cf, i, j) - at(Cf, j, i)));
  }
  result.asymmetry = diagonal > 0.0 ? skew / diagonal : 0.0;

  // Symmetrised admittance Y = G + j omega C over the driven conductors.
  using Complex = std::complex<double>;
  std::vector<Complex> Y(D * D);
  for (std::size_t i = 0; i < D; ++i)
    for (std::size_t j = 0; j < D; ++j)
      Y[i * D + j] =
          Complex((at(Gf, i, j) + at(Gf, j, i)) / 2, omega * (at(Cf, i, j) + at(Cf, j, i)) / 2);
  const int n = num.signalCount();
  std::vector<Complex> Yn(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  if (reduce) {
    // No net charge: with the reference at V_r and the others at V_r + v, the reference's
    // voltage is -(1' Y v) / (1' Y 1), which leaves Y_ss - y_s y_s' / (1' Y 1), y = Y 1.
    std::vector<Complex> y(D);
    Complex total;
    for (std::size_t i = 0; i < D; ++i) {
      for (std::size_t j = 0; j < D; ++j) y[i] += Y[i * D + j];
      total += y[i];
    }
    if (!(std::abs(total) > 0.0)) {
      Refuse(job, "The conductors of this map hold no charge against the far field.");
      job.results = before;
      return false;
    }
    for (std::size_t i = 0; i < D; ++i) {
      const int si = num.SignalOf(drives[i]);
      if (si < 0) continue;
      for (std::size_t j = 0; j < D; ++j) {
        const int sj = num.SignalOf(drives[j]);
        if (sj < 0) continue;
        Yn[static_cast<std::size_t>(si) * static_cast<std::size_t>(n) +
           static_cast<std::size_t>(sj)] = Y[i * D + j] - y[i] * y[j] / total;
      }
    }
    result.notes.push_back("No ground: conductor " + std::to_string(num.reference) +
                           " is the reference; the line carries no net charge.");
  } else {
    for (std::size_t i = 0; i < D; ++i)
      for (std::size_t j = 0; j < D; ++j)
        Yn[static_cast<std::size_t>(num.SignalOf(drives[i])) * static_cast<std::size_t>(n) +
           static_cast<std::size_t>(num.SignalOf(drives[j]))] = Y[i * D + j];
    if (num.reference > 0)
      result.notes.push_back("No ground: conductor " + std::to_string(num.reference) +
                             " is the reference.");
  }
  result.n = n;
  result.C.resize(Yn.size());
  result.G.resize(Yn.size());
  for (std::size_t i = 0; i < Yn.size(); ++i) {
    result.C[i] = Yn[i].imag() / omega;
    result.G[i] = Yn[i].real();
  }
  if (g.openBoundary) {
    // The flux into the apron beyond the map's edge is not summed: a conductor that reaches
    // the edge loses that part of its charge.
    int edgeConductor = 0;
    for (int y = 0; y < num.height && edgeConductor == 0; ++y) {
      for (int x = 0; x < num.width; ++x) {
        if (x != 0 && y != 0 && x + 1 != num.width && y + 1 != num.height) continue;
        const int k = num.number[static_cast<std::size_t>(y) * static_cast<std::size_t>(num.width) +
                                 static_cast<std::size_t>(x)];
        if (k > 0 && k != num.reference) {
          edgeConductor = k;
          break;
        }
      }
    }
    if (edgeConductor > 0)
      result.notes.push_back("Conductor " + std::to_string(edgeConductor) +
                             " reaches the map's edge: its charge beyond the edge is not counted.");
  }
  job.results = before;
  out = std::move(result);
  return true;
}

}  // namespace zolva
