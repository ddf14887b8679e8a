// The pixel impedance model. The mutual term of two pixels is their loop inductance: measured
// values for near offsets, where the square shape of the pixels matters, and the two-wire formula
// beyond. The self term is the resistance of a square pixel of metal, raised by the skin effect:
// the current crowds into the outer layers, so a surface pixel carries it in a fraction of its
// width, and how much depends on the shape of the surface next to it (its letter).
#include "lsolver/pixel_impedance.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "lsolver/lsolver_job.h"

namespace zolva {

namespace {

constexpr int kLetters = 6;  // A..F carry their own data
constexpr int kRows = 32;    // depth rows of the layered rule

// Loop inductances in microhenries per metre: entries 0..17 for pairs on one row or column at
// distances 0..17, entry 18 for the distance 900, entries 19..39 for the off-axis offsets below 7.
constexpr std::array<double, 40> kLoopTable = {
    0.19728962, 0.32469679, 0.59956,    0.76158471, 0.87662973, 0.96587912, 1.03880594, 1.10046495,
    1.15387736, 1.20099008, 1.24313396, 1.28125809, 1.31606279, 1.34807921, 1.37772267, 1.40531997,
    1.43113561, 1.45538548, 3.04305786, 0.45980243, 0.64394907, 0.78262459, 0.88874839, 0.97372198,
    1.04428518, 0.73793449, 0.83507528, 0.92124337, 0.99555812, 1.05987609, 0.90016293, 0.96586979,
    1.02736983, 1.08343162, 1.01524329, 1.06481236, 1.11234746, 1.10450248, 1.1442731,  1.17743196};

// Entry of kLoopTable for the offset (du, dv), both below 7; symmetric.
constexpr int kLoopIndexMap[7][7] = {{0, 1, 2, 3, 4, 5, 6},       {1, 19, 20, 21, 22, 23, 24},
                                     {2, 20, 25, 26, 27, 28, 29}, {3, 21, 26, 30, 31, 32, 33},
                                     {4, 22, 27, 31, 34, 35, 36}, {5, 23, 28, 32, 35, 37, 38},
                                     {6, 24, 29, 33, 36, 38, 39}};

// How fast the current density falls off below each kind of surface, in units of the skin
// depth: a flat side (A) lets it fall off more steeply than a convex corner, where the current
// spreads over two faces.
constexpr double kDecayFactor[kLetters] = {0.5065826454, 0.3444734361, 0.41063109,
                                           0.4612758943, 0.3845520517, 0.4699111148};
// Per-letter scale of the layer depth in the layered rule.
constexpr double kLayerFactor[kLetters] = {1.0, 0.7071067812, 0.894427191, 0.922, 0.7691, 0.94};

// Correction of the exponential-decay resistance towards the exact one, per letter, at the ratio
// w / delta = 10^((i - 13.74436912) / 8), eight columns per decade from about 0.019 to 60.5.
constexpr double kSkinCorrection[kLetters][kSkinCorrectionColumns] = {
    {0.99499809, 0.99320318, 0.99079168, 0.98736384, 0.9824607,  0.97492192, 0.9633883,  0.94685865,
     0.92231625, 0.88720154, 0.84216096, 0.79521654, 0.75819447, 0.73848849, 0.73915904, 0.75977986,
     0.79944465, 0.85216878, 0.90763283, 0.95524268, 0.98764537, 1.00347122, 1.00727424, 1.00573539,
     1.00341405, 1.00179106, 1.00084106, 1.00030325, 1.0},
    {0.99668516, 0.99567016, 0.99386655, 0.99163374, 0.98840807, 0.983094,  0.97481753, 0.96333487,
     0.94621482, 0.92064955, 0.88530558, 0.8443593,  0.80703673, 0.7786883, 0.76187768, 0.75942055,
     0.77419392, 0.80488204, 0.84771213, 0.89687991, 0.94372097, 0.9794353, 0.99964405, 1.00645658,
     1.00598555, 1.00364042, 1.00176842, 1.00063985, 0.99999999},
    {0.99600373, 0.99467969, 0.99271826, 0.99023146, 0.98695849, 0.9820537,  0.97479491, 0.9656815,
     0.95423492, 0.94053424, 0.92498173, 0.90720864, 0.88537653, 0.85848286, 0.8310306,  0.81136412,
     0.81029202, 0.83277724, 0.87390544, 0.92179497, 0.96368146, 0.99130705, 1.00373481, 1.00598711,
     1.00432099, 1.00239348, 1.00113258, 1.00040819, 1.0},
    {0.9951981664, 0.9934750528, 0.9911600128, 0.9878692864, 0.983162272,  0.9759250432,
     0.964852768,  0.948984304,  0.9254236,    0.8917134784, 0.8484745216, 0.8034078784,
     0.7678666912, 0.7489489504, 0.7495926784, 0.7693886656, 0.807466864,  0.85307326,
     0.90051493,   0.94718705,   0.98247785,   1.00194493,   1.00803421,   1.00704705,
     1.00438826,   1.00233358,   1.00109813,   1.00039604,   1.0},
    {0.997016644, 0.996103144, 0.994479895, 0.992470366, 0.989567263, 0.9847846,
     0.977335777, 0.967001383, 0.951593338, 0.928584595, 0.896775022, 0.85992337,
     0.826333057, 0.80081947,  0.785689912, 0.783478495, 0.796774528, 0.82325063,
     0.86264843,  0.91091811,  0.95521638,  0.98639885,  1.00196645,  1.0059372,
     1.00472027,  1.00270047,  1.00128719,  1.00046422,  1.0},
    {0.9952982046, 0.9936109892, 0.9913441792, 0.9881220096, 0.983513058,  0.9764266048,
     0.965585002,  0.950047131,  0.926977275,  0.8939694476, 0.8516313024, 0.8075035476,
     0.7727028018, 0.7541791806, 0.7548094976, 0.7741930684, 0.811477971,  0.8604082,
     0.90839668,   0.95384045,   0.98708376,   1.00455607,   1.0092515,    1.00754671,
     1.00460057,   1.0024343,    1.00114498,   1.00041297,   1.0}};

constexpr double kLetterCLayerScale = 0.834;

std::size_t RpixelIndex(int row, int letter) {
  if (row < 1 || row > kRows || letter < 0 || letter >= kLetters)
    throw std::out_of_range("resistance table: row " + std::to_string(row) + ", letter " +
                            std::to_string(letter));
  return static_cast<std::size_t>(kLetters * (row - 1) + letter);
}

complex ComplexExp(double x, double y) {
  const double m = std::exp(x);
  return {m * std::cos(y), m * std::sin(y)};
}

// The layered rule: the resistance of depth row n of a conductor whose current density falls
// off as exp((1 + j) s z) with the depth z, s = -g / delta. The current of the layer between the
// depths (n - 1) w and n w, and the power it dissipates, are integrals of that density; their
// ratio is the layer's resistance. Both are scaled far up so that the deep layers stay
// representable.
double LayerResistance(double w, double delta, double rho, double g, int n, double row1) {
  const double s = -g / delta;
  const double t1 = (n - 1) * w * s;
  const double t2 = n * w * s;
  const double K1 = w * 1e50 / (2 * s);
  const complex I = complex{-K1, K1} * (ComplexExp(t1, t1) - ComplexExp(t2, t2));
  const double K2 = w * 1e100 * rho / (4 * s);
  const complex P = complex{-K2, K2} * (ComplexExp(2 * t1, 2 * t1) - ComplexExp(2 * t2, 2 * t2));
  if (Magnitude(P) < 1e-100) return row1;
  return (P / (I * I)).re;
}

bool SwitchOn(const LSolverJob& job, Switch which) {
  return job.state.switches[which];
}

}  // namespace

double Magnitude(complex z) {
  return std::sqrt(z.re * z.re + z.im * z.im);
}

void PrepareLoopInductance(LoopModel& model) {
  for (int du = 0; du < 7; ++du)
    for (int dv = 0; dv < 7; ++dv)
      model.nearLoop[static_cast<std::size_t>(du)][static_cast<std::size_t>(dv)] =
          kLoopTable[static_cast<std::size_t>(kLoopIndexMap[du][dv])] * 1e-6;
  // The far-field fit: cosh of the inductance in units of mu0 / pi is linear in the distance for
  // two thin wires. Anchor it at the measured values for 14 (scaled by the self-pair ratio) and
  // 900 pixels; the offset is kept in 0 .. 0.5.
  const double L14 = kLoopTable[14] * (0.19695089 / kLoopTable[0]) * 1e-6;
  const double L900 = kLoopTable[18] * 1e-6;
  const double C14 = std::cosh(L14 * kPi / kMu0);
  const double C900 = std::cosh(L900 * kPi / kMu0);
  double b = (900 * C14 - 14 * C900) / (900 - 14);
  if (b < 0) b = 0;
  if (b > 0.5) b = 0.5;
  model.loopOffset = b;
  model.loopSlope = (C900 - b) / 900;
}

void PrepareLoopInductance(const LSolverJob& job) {
  PrepareLoopInductance(job.lsolver.loop);
}

double LoopInductance(const LoopModel& model, int du, int dv) {
  if (du < 0 || dv < 0) {
    throw std::out_of_range("LoopInductance: offset " + std::to_string(du) + ", " +
                            std::to_string(dv) + " is negative");
  }
  if (du < 7 && dv < 7)
    return model.nearLoop[static_cast<std::size_t>(du)][static_cast<std::size_t>(dv)];
  const double d = std::sqrt(static_cast<double>(du) * du + static_cast<double>(dv) * dv);
  const double x = model.loopSlope * d + model.loopOffset;
  const double arcosh = std::log(x + std::sqrt(x * x - 1));
  return arcosh * kMu0 / kPi + 1.04e-7 / std::exp(2.4 * std::log(d));
}

double LoopInductance(const LSolverJob& job, int du, int dv) {
  return LoopInductance(job.lsolver.loop, du, dv);
}

double ConductingFraction(double x) {
  // (1 - e^-x) / x falls from 1 for a pixel much thinner than the decay length to 1 / x for a
  // thick one. Its limits stand in where the formula has none: no skin effect at all (x = 0,
  // zero frequency) and a perfect conductor (x infinite).
  if (x == 0) return 1.0;
  if (std::isinf(x)) return 0.0;
  // expm1 keeps the digits that 1 - e^-x loses for a pixel far thinner than the skin depth
  // (low frequencies), where the difference is tiny against 1.
  return -std::expm1(-x) / x;
}

double SkinCorrection(int letter, double widthOverDepth) {
  if (letter < 0 || letter >= kLetters)
    throw std::out_of_range("SkinCorrection: letter " + std::to_string(letter));
  const double v = 8 * std::log10(widthOverDepth) + 13.74436912;
  // Outside the table (including a zero or infinite ratio) no correction applies.
  if (!(v >= 0.0 && v < 29.0)) return 1.0;
  const int i = static_cast<int>(std::trunc(v + 100)) - 100;
  const double t = v - i;
  const double* row = kSkinCorrection[letter];
  if (i <= 27) return row[i + 1] * t + row[i] * (1 - t);
  return row[28];
}

double DecayFactor(int letter) {
  if (letter < 0 || letter >= kLetters)
    throw std::out_of_range("DecayFactor: letter " + std::to_string(letter));
  return kDecayFactor[letter];
}

double SkinCorrectionColumn(int letter, int column) {
  if (letter < 0 || letter >= kLetters || column < 0 || column >= kSkinCorrectionColumns)
    throw std::out_of_range("SkinCorrectionColumn: letter " + std::to_string(letter) + ", column " +
                            std::to_string(column));
  return kSkinCorrection[letter][column];
}

void BuildSurfaceResistanceTable(const LSolverJob& job) {
  MaterialTables& mt = job.materials;
  const double w = job.state.pixelWidth;
  const char16_t calibrationKind = job.state.calibrationKind;
  const double calibrationValue = job.state.calibrationValue;
  const bool layered = SwitchOn(job, Switch::LayeredResistance);
  const int count = mt.palette.count;
  if (count < 0 || count > kPaletteCapacity)
    throw std::out_of_range("BuildSurfaceResistanceTable: palette count " + std::to_string(count));
  for (int o = count - 1; o >= 0; --o) {
    const PaletteEntry& entry = mt.palette.entries[static_cast<std::size_t>(o)];
    if (entry.kind >= 6) continue;
    if (static_cast<std::size_t>(o) >= mt.recs.size())
      throw std::out_of_range("BuildSurfaceResistanceTable: conductor colour " + std::to_string(o) +
                              " has no material record");
    const double delta = SkinDepthMetres(job.materials, job.state.omega, entry.color);
    MaterialRec& rec = mt.recs[static_cast<std::size_t>(o)];
    const double rho = rec.Resistivity * 1e-8;
    const double Rdc = rho / (w * w);
    for (int L = 0; L < kLetters; ++L) {
      const bool calibrated = calibrationKind == static_cast<char16_t>(u'A' + L);
      double k = kDecayFactor[L];
      if (calibrated && SwitchOn(job, Switch::FitDecay)) k = calibrationValue;
      const double F = ConductingFraction(k * w / delta);
      if (layered) {
        const double g = kLayerFactor[L];
        const double scale = L == 2 ? kLetterCLayerScale : 1.0;
        for (int n = 1; n <= kRows; ++n) {
          double Z;
          if (!(delta > 0) || std::isinf(delta)) {
            // Without a finite skin depth the current is uniform (or, with no resistivity,
            // meets none): every layer has the direct-current value.
            Z = Rdc;
          } else {
            Z = LayerResistance(w, delta, rho, g, n, rec.Rpixel[RpixelIndex(1, L)]);
          }
          rec.Rpixel[RpixelIndex(n, L)] = Z * scale;
        }
        continue;
      }
      double c = SkinCorrection(L, w / delta);
      if (calibrated && SwitchOn(job, Switch::FitDecay)) c = 1;
      if (SwitchOn(job, Switch::NoSkinCorrection)) c = 1;
      if (calibrated && SwitchOn(job, Switch::FitCorrection)) c = calibrationValue;
      double R = Rdc * (1 / F) * c;
      // A metal without resistivity has none at any frequency (the formula would give 0 / 0).
      if (Rdc == 0) R = 0;
      if (SwitchOn(job, Switch::PlainDcResistance)) R = Rdc;
      rec.Rpixel[RpixelIndex(1, L)] = R;
    }
  }
}

complex PixelResistance(const LSolverJob& job, int j) {
  const ConductorIndex& index = job.cindex;
  if (j < 0 || static_cast<std::size_t>(j) >= index.size())
    throw std::out_of_range("PixelResistance: entry " + std::to_string(j) + " of " +
                            std::to_string(index.size()));
  const std::size_t e = static_cast<std::size_t>(j);
  const SurfaceKind s = index.surfaceKind.at(e);
  int n = index.depth.at(e);
  if (s < u'A' || s > u'I')
    throw std::out_of_range("PixelResistance: entry " + std::to_string(j) +
                            " has no surface letter (" + std::to_string(static_cast<int>(s)) + ")");
  int letter = s > u'F' ? 2 : static_cast<int>(s - u'A');
  if (SwitchOn(job, Switch::AllLettersC)) letter = 2;
  const std::size_t p =
      static_cast<std::size_t>(index.y.at(e)) * static_cast<std::size_t>(job.map.Uwid) +
      static_cast<std::size_t>(index.x.at(e));
  const MaterialRec& rec = job.materials.recs.at(job.map.Uindex.at(p));
  if (!SwitchOn(job, Switch::LayeredResistance)) {
    // Depths 1 and 2 take the letter's own value; deeper layers move towards the flat-side
    // value C by 1/31 per layer, as the surface's shape matters less far below it.
    const double x = n == 1 ? 1.0 : 1 - (n - 2) / 31.0;
    const double own = rec.Rpixel[RpixelIndex(1, letter)];
    const double flat = rec.Rpixel[RpixelIndex(1, 2)];
    return {own * x + flat * (1 - x), 0.0};
  }
  if (SwitchOn(job, Switch::FirstDepthRow)) n = 1;
  if (n == 0) n = kRows;
  return {rec.Rpixel[RpixelIndex(n, letter)], 0.0};
}

}  // namespace zolva
