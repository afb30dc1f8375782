#include "files/column_peaks.hpp"

#include <cmath>
#include <string>

#include "core/format.hpp"
#include "core/text_lines.hpp"
#include "files/peak_files.hpp"

namespace vornax {

namespace {
// Columns (from 0) of the fitted layout that the reader takes besides the 2θ.
constexpr size_t kFittedSigmaColumn = 3;
constexpr size_t kFittedFwhmColumn = 4;
}  // namespace

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
    // The fitted layout (fitted_peak_lines): 2θ, intensity, line code, σ, FWHM.
    double sigma = 0, fwhm = 0;
    if (v.size() >= kFittedSigmaColumn + 1) {
      sigma = v[kFittedSigmaColumn];
      if (v.size() >= kFittedFwhmColumn + 1) fwhm = v[kFittedFwhmColumn];
      const char* bad = !(std::isfinite(sigma) && sigma >= 0)  ? "the error (4th number)"
                        : !(std::isfinite(fwhm) && fwhm >= 0) ? "the width (5th number)"
                                                              : nullptr;
      if (bad)
        throw FormatError(name + ": line " + std::to_string(lines.line_number()) + ": " + bad +
                          " must be a finite number not below 0");
    }
    const size_t before = d.peaks.size();
    add_read_peak(d, v[0], kNormalisedIntensity);
    if (d.peaks.size() > before) {
      d.peaks.back().sigma = sigma;
      d.peaks.back().fwhm = fwhm;
    }
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

TextFile fitted_peak_lines(const std::vector<MeasuredPeak>& peaks) {
  TextFile f;
  for (const auto& p : peaks)
    f.add(format_fixed(p.two_theta, 11, 6) + format_fixed(p.intensity, 12, 3) + format_int(p.line_code, 4) +
          format_fixed(p.sigma, 11, 6) + format_fixed(p.fwhm, 10, 5));
  return f;
}

TextFile column_peak_lines_with_intensity(const std::vector<MeasuredPeak>& peaks) {
  TextFile f;
  for (const auto& p : peaks) f.add(format_fixed(p.two_theta, 11, 6) + format_fixed(p.intensity, 12, 3));
  return f;
}

}  // namespace vornax
