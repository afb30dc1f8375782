// Comparing a difference (of angles, of wavelengths) with a typed tolerance.
#pragma once

namespace vornax {

// Decimal values are not exact in binary (20.1 - 20.0 exceeds 0.1 by 1.4e-15, and
// 1.5518 - 1.5418 exceeds 0.01 by 9e-18), so both comparisons allow a relative slack
// of 1e-9, far below anything a diffractometer resolves: a difference that equals the
// tolerance in decimals is treated as equal to it.
inline constexpr double kToleranceSlack = 1e-9;

// A difference equal to the tolerance is within it ("at most").
constexpr bool within_tolerance(double difference, double tolerance) {
  return difference <= tolerance * (1 + kToleranceSlack);
}

// A difference equal to the tolerance is not below it ("less than").
constexpr bool below_tolerance(double difference, double tolerance) {
  return difference < tolerance * (1 - kToleranceSlack);
}

}  // namespace vornax
