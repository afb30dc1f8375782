// "obs.txt": the backup of the selected reflections written by "Delete" and read back by
// "Restore". Fixed columns: the count in 6 characters, then per pair h, k, l in 4
// characters each and 2θ observed, 2θ calculated, 2θ observed corrected in 8:4.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/session.hpp"

namespace vornax {


// The file's lines; nothing when a value does not fit its field (an index outside
// -999..9999 or an angle outside -999.9999..9999.9999), so that every line can be read
// back by its columns.
std::optional<std::vector<std::string>> obs_backup_lines(const std::vector<SelectedPair>& pairs);

struct ObsBackupRead {
  std::vector<SelectedPair> pairs;
  std::string error;  // empty when the whole file was valid
  bool ok() const { return error.empty(); }
};

// Reads a whole backup from its bytes; `pairs` is filled only when every line is valid
// (count 0..500, that many pair lines of 36 characters whose fields are numbers, and
// nothing but blank lines after them).
ObsBackupRead parse_obs_backup(std::string_view bytes);

}  // namespace vornax
