#include "files/column_peaks.hpp"

#include <string>

#include "core/format.hpp"
#include "core/text_lines.hpp"
#include "files/peak_files.hpp"

namespace vornax {

PeakFileData read_column_peaks(std::string_view bytes, const std::string& name, double tolerance) {
  PeakFileData d;
  TextLineWalker lines(bytes);
  for (std::string_view line; lines.next(line);) {
    if (is_blank_line(line)) continue;
    const auto v = split_numbers(line);
    if (v.empty())
      throw FormatError(name + ": line " + std::to_string(lines.line_number()) +
                        " does not begin with a number");
    if (v[0] == 0) continue;
    add_read_peak(d, v[0], kNormalisedIntensity);
  }
  d.intensity_max = kNormalisedIntensity;
  finish_peak_range(d, name, tolerance, kTextRangeCap);
  return d;
}

TextFile column_peak_lines(const std::vector<MeasuredPeak>& peaks) {
  TextFile f;
  for (const auto& p : peaks) f.add(format_fixed(p.two_theta, 11, 6));
  return f;
}

TextFile column_peak_lines_with_intensity(const std::vector<MeasuredPeak>& peaks) {
  TextFile f;
  for (const auto& p : peaks) f.add(format_fixed(p.two_theta, 11, 6) + format_fixed(p.intensity, 12, 3));
  return f;
}

}  // namespace vornax
