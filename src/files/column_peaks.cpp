#include "files/column_peaks.hpp"

#include <string>

#include "core/format.hpp"
#include "files/peak_files.hpp"

namespace vornax {

PeakFileData read_column_peaks(std::string_view bytes, const std::string& name, double tolerance) {
  const auto lines = split_text_lines(bytes);
  PeakFileData d;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (trim(lines[i]).empty()) continue;
    const auto v = split_numbers(lines[i]);
    if (v.empty())
      throw FormatError(name + ": line " + std::to_string(i + 1) + " does not begin with a number");
    if (v[0] == 0) continue;
    add_read_peak(d, v[0], kNormalisedIntensity);
  }
  d.intensity_max = kNormalisedIntensity;
  finish_peak_range(d, name, tolerance, kTextRangeCap);
  return d;
}

TextFile column_peak_lines(const std::vector<MeasuredPeak>& peaks) {
  TextFile f;
  for (const auto& p : peaks) f.add(format_fixed(p.two_theta, 8, 3));
  return f;
}

}  // namespace vornax
