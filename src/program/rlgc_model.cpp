#include "program/rlgc_model.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "core/line_figures.h"

namespace zolva {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDbPerNeper = 8.685889638065037;  // 20 / ln 10

using Complex = std::complex<double>;

// Least squares of a + b x to the values y with weights w, both coefficients at or above 0.
struct LineFit {
  double a = 0.0, b = 0.0;
};
LineFit FitNonNegative(const std::vector<double>& x, const std::vector<double>& y,
                       const std::vector<double>& w) {
  double sw = 0, sx = 0, sxx = 0, sy = 0, sxy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sw += w[i];
    sx += w[i] * x[i];
    sxx += w[i] * x[i] * x[i];
    sy += w[i] * y[i];
    sxy += w[i] * x[i] * y[i];
  }
  const double det = sw * sxx - sx * sx;
  // Frequencies too close together to separate the two terms leave one term only.
  if (det > 1e-9 * sw * sxx) {
    const LineFit both{(sxx * sy - sx * sxy) / det, (sw * sxy - sx * sy) / det};
    if (both.a >= 0 && both.b >= 0) return both;
  }
  const auto misfit = [&](const LineFit& fit) {
    double sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      const double d = fit.a + fit.b * x[i] - y[i];
      sum += w[i] * d * d;
    }
    return sum;
  };
  // The frequency term alone, or the constant alone; the frequency term where both fit as well,
  // as at a single frequency: skin effect and dielectric loss both grow with frequency.
  const LineFit slope{0.0, sxx > 0 ? std::max(0.0, sxy / sxx) : 0.0};
  const LineFit constant{sw > 0 ? std::max(0.0, sy / sw) : 0.0, 0.0};
  double scale = 0;
  for (std::size_t i = 0; i < x.size(); ++i) scale += w[i] * y[i] * y[i];
  return misfit(constant) < misfit(slope) - 1e-12 * scale ? constant : slope;
}

// Weights that make the squares those of relative differences; a zero value (a loss-free
// line) takes the weight of the largest value.
std::vector<double> RelativeWeights(const std::vector<double>& y) {
  double largest = 0;
  for (double v : y) largest = std::max(largest, std::fabs(v));
  std::vector<double> w;
  for (double v : y) {
    const double scale = v != 0.0 ? v : (largest > 0 ? largest : 1.0);
    w.push_back(1.0 / (scale * scale));
  }
  return w;
}

double RelativeDifference(double model, double value) {
  if (value == 0.0) return model == 0.0 ? 0.0 : 1.0;
  return std::fabs(model - value) / std::fabs(value);
}

}  // namespace

Propagation LinePropagation(const RlgcPoint& p) {
  if (!(p.frequency > 0) || !(p.L > 0) || !(p.C > 0) || !(p.R >= 0) || !(p.G >= 0)) {
    throw std::invalid_argument(
        "a line needs a positive frequency, L and C and no negative R or G");
  }
  const double w = kTwoPi * p.frequency;
  const Complex z(p.R, w * p.L);
  const Complex y(p.G, w * p.C);
  Complex gamma = std::sqrt(z * y);
  // The root of the wave travelling forwards: it decays and lags.
  if (gamma.imag() < 0) gamma = -gamma;
  Propagation out;
  out.gamma = gamma;
  out.Zo = z / gamma;
  out.attenuationDb = kDbPerNeper * gamma.real();
  out.phaseConstant = gamma.imag();
  out.velocityFactor = w / (gamma.imag() * kSpeedOfLight);
  return out;
}

SParameters LineSParameters(const RlgcPoint& p, double length, double z0) {
  if (!(length >= 0) || !(z0 > 0)) {
    throw std::invalid_argument("a two-port needs a length of at least 0 and a positive z0");
  }
  const Propagation line = LinePropagation(p);
  // The ABCD matrix of the line, A = D = cosh(gl), B = Zo sinh(gl), C = sinh(gl) / Zo, all
  // multiplied by 2 exp(-gl): with P = exp(-gl) the entries become 1 + P^2 and (1 - P^2) times
  // Zo or 1 / Zo, which stay finite for a line of any loss. AD - BC = 1 becomes (2P)^2.
  const Complex P = std::exp(-line.gamma * length);
  const Complex P2 = P * P;
  const Complex A = 1.0 + P2;
  const Complex B = line.Zo * (1.0 - P2);
  const Complex C = (1.0 - P2) / line.Zo;
  const Complex D = A;
  const Complex denominator = A + B / z0 + C * z0 + D;
  SParameters s;
  s.s11 = (A + B / z0 - C * z0 - D) / denominator;
  s.s22 = (-A + B / z0 - C * z0 + D) / denominator;
  // 2 (AD - BC) / denominator with the scaled determinant (2P)^2 and one factor 2P taken back.
  s.s21 = 4.0 * P / denominator;
  s.s12 = s.s21;
  return s;
}

WElementModel FitWElement(const std::vector<RlgcPoint>& points) {
  if (points.empty()) throw std::invalid_argument("a W-element fit needs at least one frequency");
  std::vector<double> root, f, R, G;
  for (const RlgcPoint& p : points) {
    if (!(p.frequency > 0))
      throw std::invalid_argument("a W-element fit needs positive frequencies");
    root.push_back(std::sqrt(p.frequency));
    f.push_back(p.frequency);
    R.push_back(p.R);
    G.push_back(p.G);
  }
  WElementModel m;
  const LineFit r = FitNonNegative(root, R, RelativeWeights(R));
  m.R0 = r.a;
  m.Rs = r.b;
  const LineFit g = FitNonNegative(f, G, RelativeWeights(G));
  m.G0 = g.a;
  m.Gd = g.b;
  double sumL = 0, sumC = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    sumL += points[i].L - m.Rs / (kTwoPi * root[i]);
    sumC += points[i].C;
  }
  const double n = static_cast<double>(points.size());
  m.L0 = sumL / n;
  m.C0 = sumC / n;
  for (std::size_t i = 0; i < points.size(); ++i) {
    m.worstR = std::max(m.worstR, RelativeDifference(m.R0 + m.Rs * root[i], R[i]));
    m.worstG = std::max(m.worstG, RelativeDifference(m.G0 + m.Gd * f[i], G[i]));
    m.worstL =
        std::max(m.worstL, RelativeDifference(m.L0 + m.Rs / (kTwoPi * root[i]), points[i].L));
  }
  return m;
}

}  // namespace zolva
