// Bruker RAW profile files, the three variants "RAW2", "RAW" and "RAW1", and the
// RAW2 writer.
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

ProfileFileData read_raw_file(std::string_view bytes, const std::string& name);

// The RAW2 bytes of a profile: its working 2θ, intensities ×100, `title` in the header,
// `range_min` the entered 2θmin. λ1 takes λ when the profile has no λ1, so that the
// wavelength survives a reload. Throws FormatError when the count does not fit the
// format's 16-bit field.
std::string raw2_bytes(const Profile& p, const std::string& title, double range_min);

// The most points a RAW2 file can hold (16-bit signed count).
constexpr int kMaxRaw2Points = 32767;

}  // namespace vornax
