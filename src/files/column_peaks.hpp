// One-column peak lists: one 2θ per line, read and written.
#pragma once

#include <vector>

#include "core/session.hpp"
#include "core/text_file.hpp"

namespace vornax {

// One line per peak: the working 2θ, 11 characters, 6 decimals (a refinement of
// synchrotron peaks loses accuracy to fewer).
TextFile column_peak_lines(const std::vector<MeasuredPeak>& peaks);

// The profile window's column file: the working 2θ (11 characters, 6 decimals), then
// the intensity (12 characters, 3 decimals). Read back, the first column is the 2θ.
TextFile column_peak_lines_with_intensity(const std::vector<MeasuredPeak>& peaks);

// Peaks with their profile fit, one line each: the working 2θ (11 characters, 6
// decimals), intensity (12, 3), line code (4), σ of the position (11, 6) and FWHM
// (10, 5), degrees 2θ. The column reader takes the 2θ from the first number and, on a
// line of four numbers or more, σ from the fourth and the FWHM from the fifth.
TextFile fitted_peak_lines(const std::vector<MeasuredPeak>& peaks);

}  // namespace vornax
