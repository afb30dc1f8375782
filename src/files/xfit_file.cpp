// XFIT peak lists: a heading line, then either fixed columns (2θ in characters 23-30,
// intensity in 57-66) or, when "Code" stands before "Th2" in the heading, 2θ after the
// first 42 characters of each line.
#include <string>

#include "core/format.hpp"
#include "core/text_file.hpp"
#include "files/peak_files.hpp"

namespace vornax {

namespace {

constexpr size_t kTwoThetaColumn = 22, kTwoThetaWidth = 8;    // characters 23..30
constexpr size_t kIntensityColumn = 56, kIntensityWidth = 10; // characters 57..66
constexpr size_t kCodeLayoutSkip = 42;

// A fixed field of the line as a number; a missing or non-numeric field counts as 0.
double field(const std::string& line, size_t from, size_t width) {
  if (from >= line.size()) return 0;
  return parse_real(trim(line.substr(from, width))).value_or(0);
}

}  // namespace

PeakFileData read_xfit_file(std::string_view bytes, const std::string& name, double tolerance) {
  const auto lines = split_text_lines(bytes);
  if (lines.empty()) throw FormatError(name + ": empty file");
  const std::string heading = trim(lines[0]);
  const size_t th2 = heading.find("Th2"), code = heading.find("Code");
  const size_t p_th2 = th2 == std::string::npos ? 0 : th2 + 1;
  const size_t p_code = code == std::string::npos ? 0 : code + 1;
  PeakFileData d;
  if (p_th2 <= p_code) {
    for (size_t i = 1; i < lines.size(); ++i) {
      const double tt = field(lines[i], kTwoThetaColumn, kTwoThetaWidth);
      const double in = field(lines[i], kIntensityColumn, kIntensityWidth);
      // Headings, comments and blank lines have no intensity; no angle is no peak either.
      if (in == 0 || tt == 0) continue;
      add_read_peak(d, tt, in);
    }
    normalise_intensities(d);
  } else {
    for (size_t i = 1; i < lines.size(); ++i) {
      if (trim(lines[i]).empty()) continue;
      const std::string rest = lines[i].size() > kCodeLayoutSkip ? lines[i].substr(kCodeLayoutSkip) : "";
      const auto v = split_numbers(rest);
      if (v.empty())
        throw FormatError(name + ": line " + std::to_string(i + 1) + " holds no 2Theta");
      add_read_peak(d, v[0], kNormalisedIntensity);
    }
    d.intensity_max = kNormalisedIntensity;
  }
  finish_peak_range(d, name, tolerance, kTextRangeCap);
  return d;
}

}  // namespace vornax
