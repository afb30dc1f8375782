// The silicon runs of the road tests: the peaks of silicon with a zero shift, and the
// cell tab: cubic F d -3 m, a start cell a little short of 5.431194 Å, Cu Kα1, 20–140°,
// in the current folder.
#pragma once

#include <filesystem>

#include "commands/refinement_road.hpp"
#include "refine/refine_fixtures.hpp"

namespace vornax::testing {

constexpr double kSiA = 5.431194, kLambda = 1.540593, kShift = 0.040;
inline constexpr int kSiHkl[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0},
                                    {3, 3, 1}, {4, 2, 2}, {5, 1, 1}, {4, 4, 0},
                                    {5, 3, 1}, {6, 2, 0}, {5, 3, 3}};

// 2θ of silicon's reflection `hkl` at Cu Kα1 with the zero shift kShift.
inline double silicon_two_theta(const int* hkl) {
  const CellParameters si{kSiA, kSiA, kSiA, 90, 90, 90};
  return refine_test::two_theta(si, kLambda, hkl[0], hkl[1], hkl[2], kShift);
}

inline SessionStart silicon_start() {
  SessionStart st;
  st.system = "CUBI";
  st.group = "F d -3 m:2";
  st.cell = {"5.428", "5.428", "5.428", "90", "90", "90"};
  st.lambda = "1.540593";
  st.range_min = "20";
  st.range_max = "140";
  st.folder = std::filesystem::current_path();
  st.data_folder = VORNAX_SOURCE_DATA_DIR;
  return st;
}

}  // namespace vornax::testing
