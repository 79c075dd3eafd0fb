#include "s_curve_profile.h"

#include <cmath>

#include "chip_rates.h"

namespace {

// Rounding noise below which a ramp's pulses count as whole.
constexpr double kWholePulseSlack = 1e-6;

using Complex = std::complex<double>;

// z^(1/3): the real power of a positive real, else the principal branch.
Complex complex_cube_root(Complex z) {
  if (z.imag() == 0.0 && z.real() > 0.0) return std::cbrt(z.real());
  return std::exp(std::log(z) / 3.0);
}

// The real cube root of a real value, negative values included.
double real_cube_root(double value) {
  return value >= 0 ? std::pow(value, 1.0 / 3.0) : -std::pow(-value, 1.0 / 3.0);
}

}  // namespace

int32_t s_curve_accel_distance(uint16_t start_speed_word, uint16_t drive_speed_word,
                               uint16_t decel_jerk_word, double multiplier) {
  if (drive_speed_word <= start_speed_word) return 0;  // no ramp
  const double start = chip_speed(start_speed_word, multiplier);
  const double drive = chip_speed(drive_speed_word, multiplier);
  const double seconds = chip_s_ramp_seconds(drive, start, decel_jerk_word, multiplier);
  // Rounded up: a point a fraction early only adds a creep at the start speed,
  // one late would end the move before its speed is down.
  return static_cast<int32_t>(std::ceil(ramp_pulses(start, drive, seconds) - kWholePulseSlack));
}

double s_curve_peak_speed(double sv, double dv, double jerk, double decel_jerk, double distance,
                          int avoid_triangle) {
  double k = std::pow(std::pow(jerk, -0.5) + std::pow(decel_jerk, -0.5), -2.0);
  if (avoid_triangle) k *= 0.25;
  // g(x) = (x + SV)^2 (x - SV) - k D^2: both ramps at peak x cover exactly D.
  const double kd2 = k * distance * distance;
  const double g_dv = dv * dv * dv + sv * dv * dv - sv * sv * dv - sv * sv * sv - kd2;
  if (!(g_dv >= 0)) return dv;
  Complex roots[3];
  solve_cubic(sv, -sv * sv, -sv * sv * sv - kd2, &roots[0], &roots[1], &roots[2]);
  for (const Complex &root : roots) {
    if (root.imag() == 0.0 && root.real() > 0 && root.real() < dv) return root.real();
  }
  return dv;
}

void solve_cubic(double a, double b, double c, Complex *r1, Complex *r2, Complex *r3) {
  const double p = b - a * a / 3.0;
  const double q = 2.0 * a * a * a / 27.0 - a * b / 3.0 + c;
  const double discriminant = (q / 2.0) * (q / 2.0) + (p / 3.0) * (p / 3.0) * (p / 3.0);
  const double shift = a / 3.0;
  const Complex w1(-0.5, std::sqrt(3.0) / 2.0);
  const Complex w2(-0.5, -std::sqrt(3.0) / 2.0);
  Complex u, v;
  if (discriminant < 0) {
    const double e = std::sqrt(std::fabs(discriminant));
    u = complex_cube_root(Complex(-q / 2.0, e));
    v = complex_cube_root(Complex(-q / 2.0, -e));
    *r1 = u + v - shift;
    *r2 = u * w1 + v * w2 - shift;
    *r3 = u * w2 + v * w1 - shift;
    return;
  }
  const double e = std::sqrt(discriminant);
  u = real_cube_root(-q / 2.0 + e);
  v = real_cube_root(-q / 2.0 - e);
  *r1 = u + v - shift;
  *r2 = w1 * u + w2 * v - shift;
  *r3 = w2 * u + w1 * v - shift;
}
