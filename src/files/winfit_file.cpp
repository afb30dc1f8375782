// WINFIT peak lists: a heading naming "Sample" and "Position", then one line per peak:
// the sample name, then up to ten numbers (2θ first, intensity fifth).
#include <string>

#include "core/format.hpp"
#include "core/text_file.hpp"
#include "files/peak_files.hpp"

namespace vornax {

namespace {
constexpr size_t kMaxNumbers = 10;
constexpr size_t kIntensityIndex = 4;
}  // namespace

PeakFileData read_winfit_file(std::string_view bytes, const std::string& name, double tolerance) {
  const auto lines = split_text_lines(bytes);
  if (lines.empty() || lines[0].find("Sample") == std::string::npos ||
      lines[0].find("Position") == std::string::npos)
    throw FormatError(kNotWinfit);
  PeakFileData d;
  int kept = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string line = trim(lines[i]);
    if (line.empty()) continue;
    if (kept == kMaxWinfitLines) {
      d.truncated = true;
      d.limit_message = kTooManyWinfitLines;
      break;
    }
    ++kept;
    for (char& ch : line)
      if (ch == '\t' || ch == ',') ch = ' ';
    const size_t blank = line.find(' ');
    d.sample = line.substr(0, blank);
    std::vector<double> numbers;
    size_t at = blank == std::string::npos ? line.size() : blank;
    while (numbers.size() < kMaxNumbers) {
      while (at < line.size() && line[at] == ' ') ++at;
      if (at >= line.size()) break;
      size_t end = line.find(' ', at);
      if (end == std::string::npos) end = line.size();
      const auto v = parse_real(line.substr(at, end - at));
      if (!v) throw FormatError(kDecodeError);
      numbers.push_back(*v);
      at = end;
    }
    // Without a fifth number there is no intensity to take.
    if (numbers.size() <= kIntensityIndex) throw FormatError(kDecodeError);
    add_read_peak(d, numbers[0], numbers[kIntensityIndex]);
  }
  normalise_intensities(d);
  finish_peak_range(d, name, tolerance, kTextRangeCap);
  return d;
}

}  // namespace vornax
