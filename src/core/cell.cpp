#include "core/cell.hpp"

#include <cmath>

namespace vornax {

double arc_sin(double x) { return std::atan2(x, std::sqrt(1.0 - x * x)); }
double arc_cos(double x) { return std::atan2(std::sqrt(1.0 - x * x), x); }

void compute_reciprocal(const CellParameters& cell, ReciprocalCell& rc, ReciprocalMatrix& B) {
  const double al = cell.alpha * kDegToRad, be = cell.beta * kDegToRad,
               ga = cell.gamma * kDegToRad;
  const double ca = std::cos(al), cb = std::cos(be), cg = std::cos(ga);
  const double sa = std::sin(al), sb = std::sin(be), sg = std::sin(ga);
  const double V =
      cell.a * cell.b * cell.c * std::sqrt(1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
  rc.a_star = cell.b * cell.c * sa / V;
  rc.b_star = cell.c * cell.a * sb / V;
  rc.c_star = cell.a * cell.b * sg / V;
  const double alpha_s = arc_cos((cb * cg - ca) / (sb * sg));
  const double beta_s = arc_cos((cg * ca - cb) / (sg * sa));
  const double gamma_s = arc_cos((ca * cb - cg) / (sa * sb));
  rc.alpha_star = alpha_s * kRadToDeg;
  rc.beta_star = beta_s * kRadToDeg;
  rc.gamma_star = gamma_s * kRadToDeg;
  B[0] = {rc.a_star, rc.b_star * std::cos(gamma_s), rc.c_star * std::cos(beta_s)};
  B[1] = {0.0, rc.b_star * std::sin(gamma_s), -rc.c_star * std::sin(beta_s) * ca};
  B[2] = {0.0, 0.0, 1.0 / cell.c};
}

void compute_reciprocal(WorkSession& s) { compute_reciprocal(s.cell, s.reciprocal, s.B); }

double inverse_d_squared(const ReciprocalMatrix& B, double h, double k, double l) {
  const double x = B[0][0] * h + B[0][1] * k + B[0][2] * l;
  const double y = B[1][0] * h + B[1][1] * k + B[1][2] * l;
  const double z = B[2][0] * h + B[2][1] * k + B[2][2] * l;
  return x * x + y * y + z * z;
}

double two_theta_from_d(double d, double lambda) {
  return kBraggFactor * arc_sin(lambda / (2.0 * d));
}

double cell_volume(const CellParameters& cell) {
  const double ca = std::cos(cell.alpha * kDegToRad), cb = std::cos(cell.beta * kDegToRad),
               cg = std::cos(cell.gamma * kDegToRad);
  return cell.a * cell.b * cell.c * std::sqrt(1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
}

double angle_for_display(const WorkSession& s, double two_theta) {
  return s.angle_mode == AngleMode::Theta ? two_theta * 0.5 : two_theta;
}

double angle_from_entry(const WorkSession& s, double value) {
  return s.angle_mode == AngleMode::Theta ? value * 2.0 : value;
}

}  // namespace vornax
