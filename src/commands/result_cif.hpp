// A refinement's results as one CIF data block: the cell with its standard errors in
// parentheses, the volume, the wavelength, the space group and crystal system, the
// figures of merit and the pairs. What `refine --cif`, `series --cif` and the
// refinement tab's "Save CIF" write.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "commands/refinement_road.hpp"
#include "core/session.hpp"

namespace vornax {

// A block name CIF accepts: the text with every blank or control character replaced
// by '_' ("pattern 003.xy" -> "pattern_003.xy"); "vornax" for an empty text.
std::string cif_block_name(std::string_view text);

// The data block `data_<block>` of a refined record; `s` gives the space group, the
// crystal system and, for a wavelength not refined, the wavelength.
std::string result_cif(const WorkSession& s, const RefinementRecord& r, std::string_view block);

// The same written to `path` (LF line ends, as CIF readers everywhere take them).
// Throws FileError when it cannot be written.
void save_result_cif(const WorkSession& s, const RefinementRecord& r,
                     const std::filesystem::path& path);

}  // namespace vornax
