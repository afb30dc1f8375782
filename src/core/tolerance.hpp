// Comparing an angular difference with a typed tolerance.
#pragma once

namespace vornax {

// A difference equal to the typed tolerance is within it. Decimal angles are not exact
// in binary (20.1 - 20.0 exceeds 0.1 by 1.4e-15), so the comparison allows a relative
// slack of 1e-9, far below any angle a diffractometer resolves.
constexpr bool within_tolerance(double difference, double tolerance) {
  return difference <= tolerance * (1 + 1e-9);
}

}  // namespace vornax
