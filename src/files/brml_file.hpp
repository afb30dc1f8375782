// BRML profile files: a ZIP archive holding one XML document per range,
// "Experiment0/RawData0.xml", "Experiment0/RawData1.xml" ... Each has the 2θ scan
// axis (start, increment), one <Datum> per point whose last comma-separated value
// is the count, and the tube's wavelengths and anode.
#pragma once

#include <string>
#include <string_view>

#include "files/profile_files.hpp"

namespace vornax {

// Reads range `range_index` (RawData<range_index>.xml). Throws FormatError for a
// damaged archive or document, or a range the file does not have.
ProfileFileData read_brml_file(std::string_view bytes, const std::string& name,
                               int range_index = 0);

// The largest document the reader unpacks; a larger one is refused as damaged
// (a small archive can announce an enormous content).
constexpr size_t kMaxBrmlDocument = 64u << 20;

}  // namespace vornax
