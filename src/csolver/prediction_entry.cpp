// The field prediction in its order: islands, the charges of the drives, the offset
// VoC of a balanced line, the predicted potential over the window, the core and the apron, the
// final offset and the floating conductors. The relaxation then starts from this potential.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "csolver/capacitance_job.h"
#include "csolver/prediction.h"
#include "csolver/prediction_field.h"
#include "csolver/prediction_islands.h"
#include "csolver/prediction_stages.h"

namespace zolva {

namespace {

constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;
constexpr int kOffsetRounds = 30;

void ZeroFreeNodes(std::vector<double>& volts, const std::vector<std::uint8_t>& code) {
  const std::size_t n = std::min(volts.size(), code.size());
  for (std::size_t i = 0; i < n; ++i)
    if (code[i] & kFreeBits) volts[i] = 0.0;
}

void ReduceCodes(std::vector<std::uint8_t>& code) {
  for (std::uint8_t& c : code) c &= 0xF;
}

void CopyCharges(SolverGrid& g, double SurfaceRecord::*to) {
  const int n = std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
  for (int j = 0; j < n; ++j) {
    SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    r.*to = r.sCharge;
  }
}

double IslandV(const PredictionState& p, int k) {
  return k >= 0 && k < static_cast<int>(p.islands.size())
             ? p.islands[static_cast<std::size_t>(k)].iV
             : 0.0;
}

// The island's potential as a walk starts from it: its kind, plus the offset for the two poles.
double StartPotential(const CapacitanceJob& job, int k) {
  const PredictionState& p = job.prediction;
  if (k < 0 || k >= static_cast<int>(p.islands.size())) return 0.0;
  const int kind = p.islands[static_cast<std::size_t>(k)].iType;
  return kind + ((kind == KindPlus || kind == KindMinus) ? job.results.VoC : 0.0);
}

// The three basic distributions mixed by their weights, walked from the ground island.
void Superpose(const CapacitanceJob& job, PredictionWork& w, int reference) {
  SolverGrid& g = job.grid;
  const PredictionState& p = job.prediction;
  const int n = std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
  for (int j = 0; j < n; ++j) {
    SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    r.sCharge = r.sRBcharge * p.mixRB + r.sRGcharge * p.mixRG + r.sGBcharge * p.mixGB;
  }
  LoadCharges(g, w.charges);
  WalkIslands(job, w, reference, StartPotential(job, reference));
}

// The offset search with all three fixed kinds: the weights of the +1/ground and ground/-1
// distributions are moved until the poles lie at VoC + 1 and VoC - 1, and, for a balanced line,
// VoC until the apron's border averages 0. Returns false when stopped.
bool SearchOffset(const CapacitanceJob& job, PredictionWork& w, int reference) {
  PredictionState& p = job.prediction;
  double& VoC = job.results.VoC;
  const int plus = FirstIslandOfKind(p, KindPlus), minus = FirstIslandOfKind(p, KindMinus);
  p.mixRB = 0.2;
  p.mixRG = 1.0;
  p.mixGB = 1.0;
  VoC = 0.0;
  Superpose(job, w, reference);
  const double s = 2.0 / (IslandV(p, plus) - IslandV(p, minus));
  p.mixRB *= s;
  p.mixRG *= s;
  p.mixGB *= s;
  if (p.balanceVo) VoC = -MeanBorderPotential(job, w) * s;
  p.offsetRounds = 0;
  for (int round = 1; round <= kOffsetRounds && !job.state.abortRequested; ++round) {
    job.report.ShowProgress(ProgressText('F', round));
    const double remembered = VoC;
    Superpose(job, w, reference);
    const double m = MeanBorderPotential(job, w);
    if (p.balanceVo) VoC -= m;
    if (VoC > 1.0) VoC = 0.99;
    if (VoC < -1.0) VoC = -0.99;
    const double vPlus = IslandV(p, plus), vMinus = IslandV(p, minus);
    p.mixRG *= ((VoC + 1.0) / vPlus - 1.0) / 2.8 + 1.0;
    p.mixGB *= ((VoC - 1.0) / vMinus - 1.0) / 2.8 + 1.0;
    if (round < 3) p.mixRB *= (2.0 / (vPlus - vMinus) - 1.0) / 2.8 + 1.0;
    for (double* mix : {&p.mixRB, &p.mixRG, &p.mixGB}) {
      // A weight the walks could not measure (an island never reached) stays where it was.
      *mix = std::isfinite(*mix) ? std::clamp(*mix, -3.0, 3.0) : 1.0;
    }
    p.offsetRounds = round;
    job.report.ShowConvergenceVolts(VoC);
    if (round >= 4 && std::abs(VoC - remembered) < 1e-5) break;
  }
  return !job.state.abortRequested;
}

// The prediction is given up: every free node starts from 0 and the conductors from their own
// voltages, as without a prediction.
void StartFromZero(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  job.results.VoC = 0.0;
  ReduceCodes(g.Ccode);
  ReduceCodes(g.Acode);
  ZeroFreeNodes(g.Cvolts, g.Ccode);
  ZeroFreeNodes(g.Avolts, g.Acode);
  for (std::size_t i = 0; i < g.Cvolts.size(); ++i) {
    if (!(g.Ccode[i] & NodeConductor)) continue;
    double& v = g.Cvolts[i];
    if (v > 0.0) v = 1.0;
    if (v < 0.0) v = -1.0;
  }
  const UsermapPalette& palette = job.materials.palette;
  for (int colour = std::min(palette.count, kPaletteCapacity) - 1; colour >= 0; --colour)
    if (palette.entries[static_cast<std::size_t>(colour)].kind == KindFloat)
      SetConductorNodes(job, colour, job.results.floatVolts.at(static_cast<std::size_t>(colour)));
}

// Program error 3 was reported: the solve goes on from zero voltages.
bool GiveUpAfterChargeNodeHit(const CapacitanceJob& job, PredictionWork& w) {
  if (!w.chargeNodeHit.load(std::memory_order_acquire)) return false;
  job.pool.StopWorkers();
  StartFromZero(job);
  return true;
}

void StartCacheWorkers(const CapacitanceJob& job, PredictionWork& w) {
  const int n = std::clamp(job.options.threadCount, 1, kMaxParticipants);
  auto kernel = [&job, &w](int t) { CacheApronRows(job, w, t, job.pool.participantStride()); };
  try {
    job.pool.StartWorkers(n, kernel);
  } catch (const std::runtime_error&) {
    // A thread that cannot be made: the main thread fills the cache alone.
    job.pool.StartWorkers(1, kernel);
  }
}

bool PredictFieldSteps(const CapacitanceJob& job) {
  SolveState& s = job.state;
  SolverGrid& g = job.grid;
  PredictionState& p = job.prediction;
  double& VoC = job.results.VoC;

  // Counts (CountSurfaces ran before), the offset, the event interval.
  const bool hasAllThree = p.plusSurfaces > 0 && p.minusSurfaces > 0 && p.groundSurfaces > 0;
  VoC = 0.0;
  p.offsetRounds = 0;
  PredictionWork w;
  w.progressInterval =
      g.surfaceCount > 0 ? std::max(1, static_cast<int>(std::nearbyint(1e6 / g.surfaceCount))) : 1;

  // Islands and walkways.
  p.islandFailed = false;
  if (!s.switches[Switch::SkipPrediction]) FindIslands(job, w);
  w.fieldOff = false;
  if (s.switches[Switch::DebugOverlay]) job.report.RefreshDisplay();

  // Every free node starts at 0.
  ZeroFreeNodes(g.Cvolts, g.Ccode);
  ZeroFreeNodes(g.Avolts, g.Acode);
  job.fieldReady = true;

  // Stops and skips.
  if (s.switches[Switch::StopBeforePrediction]) {
    s.abortRequested = true;
    job.report.RefreshDisplay();
    return false;
  }
  if (job.options.noPrediction || s.switches[Switch::SkipPrediction]) return false;

  // The drive.
  job.fieldReady = false;
  const int a = p.plusSurfaces > 0 ? 1 : 0;
  const int b = p.minusSurfaces > 0 ? -1 : 0;
  p.balanceVo = a == 1 && b == -1 && !job.options.voZero;

  // An island without a walkway gives the prediction up (checked before the charges, whose
  // walks would need every walkway).
  if (p.islandFailed) {
    s.predictionFailed = true;
    s.predictionFailedAt = s.elapsedSeconds;
    if (!s.switches[Switch::SkipRelaxation]) {
      ReduceCodes(g.Ccode);
    } else {
      job.fieldReady = true;
      job.report.RefreshDisplay();
      s.abortRequested = true;
    }
    ZeroFreeNodes(g.Cvolts, g.Ccode);
    return false;
  }

  // The charges: the three basic distributions, or the one drive.
  if (hasAllThree) {
    IterateCharges(job, w, 1, 0);
    if (s.abortRequested) return false;
    CopyCharges(g, &SurfaceRecord::sRGcharge);
    IterateCharges(job, w, 0, -1);
    if (s.abortRequested) return false;
    CopyCharges(g, &SurfaceRecord::sGBcharge);
  }
  IterateCharges(job, w, a, b);
  if (s.abortRequested) return false;
  if (hasAllThree) CopyCharges(g, &SurfaceRecord::sRBcharge);

  int reference;
  if (!hasAllThree) {
    // Two fixed kinds: +1 and -1 volt lie 2 volts apart.
    if (a == 1 && b == -1) {
      const int n = std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
      for (int j = 0; j < n; ++j) g.surfaceList[static_cast<std::size_t>(j)].sCharge *= 2.0;
      LoadCharges(g, w.charges);
    }
    reference = FirstIslandOfKind(p, b);
    WalkIslands(job, w, reference, b + VoC);
    if (p.balanceVo) VoC = -MeanBorderPotential(job, w);
  } else {
    // All three kinds: the mix and the offset are searched.
    reference = FirstIslandOfKind(p, KindGround);
    if (!SearchOffset(job, w, reference)) return false;
  }
  if (GiveUpAfterChargeNodeHit(job, w)) return false;

  // The poles take the offset.
  if (VoC != 0.0) {
    for (std::size_t i = 0; i < g.Cvolts.size(); ++i) {
      if (!(g.Ccode[i] & NodeConductor)) continue;
      double& v = g.Cvolts[i];
      if (v > 0.0) v = VoC + 1.0;
      if (v < 0.0) v = VoC - 1.0;
    }
  }
  job.fieldReady = true;
  p.chargeScale = 1.0;
  if (s.switches[Switch::StopAfterPredictedField]) {
    s.abortRequested = true;
    return false;
  }

  // The coarse lattice.
  job.report.ShowStep("Predicting electric fields.  ");
  job.fieldReady = true;
  job.report.ShowProgress("D0");
  BuildCoarseLattice(job, w);

  // The walkways with the final charges, then the pool for the apron cache.
  WalkIslands(job, w, reference, StartPotential(job, reference));
  if (GiveUpAfterChargeNodeHit(job, w)) return false;
  StartCacheWorkers(job, w);

  try {
    // The window, then the rest of the core.
    IntegrateWindow(job, w);
    IntegrateCoreOutside(job, w);
    // The apron.
    if (g.apronActive) {
      const std::size_t nodes = static_cast<std::size_t>(g.Awid) * static_cast<std::size_t>(g.Ahei);
      w.apronEx.assign(nodes, 0.0);
      w.apronEy.assign(nodes, 0.0);
      IntegrateApron(job, w);
    }
  } catch (...) {
    job.pool.StopWorkers();
    throw;
  }
  job.pool.StopWorkers();
  if (GiveUpAfterChargeNodeHit(job, w)) return false;

  // The final offset of a balanced line.
  if (g.apronActive && p.balanceVo && !s.switches[Switch::NoBorderBalance]) ApplyFinalOffset(job);

  // The caches go with w; the floating conductors take their surroundings.
  if (p.floatSurfaces > 0) SetFloatingConductors(job);

  // The codes lose the prediction's bits; Switch::SkipRelaxation skips the relaxation.
  if (!s.switches[Switch::SkipRelaxation]) {
    ReduceCodes(g.Ccode);
    ReduceCodes(g.Acode);
  } else {
    s.abortRequested = true;
  }
  job.report.ShowConvergence(0.0);
  return true;
}

}  // namespace

bool PredictField(const CapacitanceJob& job) {
  const auto t0 = std::chrono::steady_clock::now();
  const bool made = PredictFieldSteps(job);
  job.prediction.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return made;
}

}  // namespace zolva
