// The cell tab of the silicon runs of the road tests: cubic F d -3 m, a start cell a
// little short of 5.431194 Å, Cu Kα1, 20–140°, in the current folder.
#pragma once

#include <filesystem>

#include "commands/refinement_road.hpp"

namespace vornax::testing {

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
