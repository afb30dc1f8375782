// CPI profile files: a ten-line header (range, step, anode, λ, sample) and one
// intensity per line; and the CPI writer.
#pragma once

#include <string>
#include <string_view>

#include "core/text_file.hpp"
#include "files/profile_files.hpp"

namespace vornax {

ProfileFileData read_cpi_file(std::string_view bytes, const std::string& name);

// The CPI lines of a profile: its own first and last working 2θ and the step between
// them with enough decimals that every angle comes back on reading, `title` as the
// sample, intensities ×100.
TextFile cpi_lines(const Profile& p, const std::string& title);

}  // namespace vornax
