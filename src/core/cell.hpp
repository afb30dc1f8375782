// Cell metric: reciprocal cell, d-spacings and Bragg angles, with the program's own
// constants (a 10-digit π/180 and the 114.59159 degree factor), which the reports
// and the reference values users compare with depend on.
#pragma once

#include "core/session.hpp"

namespace vornax {

constexpr double kDegToRad = 0.01745329237161969;       // 2θ or angle in degrees -> radians
constexpr double kHalfDegToRad = 0.008726658370523442;  // 2θ in degrees -> θ in radians
constexpr double kRadToDeg = 57.29578;
constexpr double kBraggFactor = 114.59159;              // 2θ degrees = factor · arcsin(...)

// arcsin and arccos through atan2, as the program has always computed them.
double arc_sin(double x);
double arc_cos(double x);

// Reciprocal cell and matrix B of a cell.
void compute_reciprocal(const CellParameters& cell, ReciprocalCell& rc, ReciprocalMatrix& B);
// The same on the session's current cell.
void compute_reciprocal(WorkSession& s);

// 1/d² of h k l from B.
double inverse_d_squared(const ReciprocalMatrix& B, double h, double k, double l);

// 2θ in degrees from d and the wavelength.
double two_theta_from_d(double d, double lambda);

// Volume of a cell (Å³).
double cell_volume(const CellParameters& cell);

// The angle mode applied to values shown to or typed by the user.
double angle_for_display(const WorkSession& s, double two_theta);
double angle_from_entry(const WorkSession& s, double value);

}  // namespace vornax
