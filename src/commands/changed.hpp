// What a command changed in the session. Every command returns this set, and the
// windows refresh exactly what shows those data (one refresh for every command).
#pragma once

namespace vornax {

enum class Changed : unsigned {
  None = 0,
  MeasuredPeaks = 1u << 0,   // the peak list, its file name, zero offset, wavelengths read
  Profile = 1u << 1,         // the profile points, its file name and wavelengths
  Calculated = 1u << 2,      // allowed, forbidden and merged reflections
  Selection = 1u << 3,       // the selected pairs (and the indexed list)
  Results = 1u << 4,         // refinement results
  CurrentValues = 1u << 5,   // current wavelength set, entered range, tolerance
  Cell = 1u << 6,            // cell, system, group, title, cell file name
  AngleMode = 1u << 7,       // θ / 2θ display
  Everything = (1u << 8) - 1,
};

constexpr Changed operator|(Changed a, Changed b) {
  return static_cast<Changed>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr Changed& operator|=(Changed& a, Changed b) { return a = a | b; }
constexpr Changed operator&(Changed a, Changed b) {
  return static_cast<Changed>(static_cast<unsigned>(a) & static_cast<unsigned>(b));
}
constexpr Changed operator~(Changed a) {
  return static_cast<Changed>(~static_cast<unsigned>(a) & static_cast<unsigned>(Changed::Everything));
}
constexpr bool any(Changed set, Changed what) {
  return (static_cast<unsigned>(set) & static_cast<unsigned>(what)) != 0;
}

}  // namespace vornax
