// The measured-peaks report dif.out.
#pragma once

#include "core/session.hpp"
#include "core/text_file.hpp"

namespace vornax {


// Header of labels and values, then per peak: number (3), working 2θ (8:3) and the
// intensity in counts (scaled × intensity maximum / 100, 8:0).
TextFile peak_report_lines(const MeasuredPeakList& peaks);

}  // namespace vornax
