#include "files/rietveld_dat.hpp"

#include <cmath>
#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

constexpr size_t kFirstDataLine = 5;  // 0-based: after the header and the angle line

// The first word after `key` in `rest`, as a number (0 when it is not one); `rest`
// keeps what follows the key, so the next key is looked for after this one.
double value_after(std::string& rest, std::string_view key) {
  const size_t at = rest.find(key);
  if (at == std::string::npos) return 0;
  // The key and the character after it (its ':' or '=') go.
  const size_t from = std::min(rest.size(), at + key.size() + 1);
  rest = trim(rest.substr(from));
  const std::string word = rest.substr(0, rest.find(' '));
  return parse_real(word).value_or(0);
}

}  // namespace

ProfileFileData read_rietveld_dat(std::string_view bytes, const std::string& name) {
  const std::vector<std::string> lines = split_text_lines(bytes);
  if (lines.size() < kFirstDataLine) throw FormatError(name + ": file too short for its header");
  ProfileFileData d;
  Profile& p = d.profile;
  const std::string& first = lines[0];
  if (!trim(first).empty()) {
    const size_t ident = first.find("SampleIdent");
    if (ident == std::string::npos)
      throw FormatError("Error while reading the wavelength in Rietvelf File");
    const size_t from = ident + std::string_view("SampleIdent").size() + 1;
    const size_t to = first.find("DataFileName");
    if (from < first.size())
      p.sample = trim(first.substr(from, to == std::string::npos || to < from ? std::string::npos
                                                                             : to - from));
    std::string rest = lines[2];
    const double l1 = value_after(rest, "Alpha1");
    const double l2 = value_after(rest, "Alpha2");
    double ratio = value_after(rest, "Ratio");
    p.wavelengths.lambda1 = l1;
    p.wavelengths.lambda2 = l2;
    p.wavelengths.lambda = lambda_from_pair(l1, l2, ratio);
    p.wavelengths.ratio = ratio;
  }
  const std::vector<double> range = split_numbers(lines[4]);
  if (range.size() < 3) throw FormatError(name + ": line 5 must hold start, step and end angle");
  for (double v : range) check_finite(v, "the angle line", name);

  std::vector<double> raw;
  for (size_t i = kFirstDataLine; i < lines.size(); ++i) {
    std::string line = lines[i];
    for (char& ch : line)
      if (ch == ',') ch = ' ';
    if (!append_numbers(line, raw, name)) throw FormatError("Read error!");
  }
  set_stepped_points(p, range[0], range[1], raw, name);
  p.start_angle = range[0];
  p.final_angle = range[2];
  d.has_wavelength = p.wavelengths.lambda != 0;
  return d;
}

ContentMatch rietveld_dat_content(std::string_view bytes) {
  const std::vector<std::string> lines = split_text_lines(bytes);
  if (lines.empty()) return ContentMatch::No;
  if (lines[0].find("SampleIdent") != std::string::npos) return ContentMatch::Signature;
  if (!trim(lines[0]).empty() || lines.size() <= kFirstDataLine) return ContentMatch::No;
  const std::vector<double> range = split_numbers(lines[4]);
  if (range.size() < 3 || !(range[1] > 0) || !(range[0] < range[2])) return ContentMatch::No;
  // Counts as many as the angle line announces (give or take the last point) make the
  // layout as sure as plain columns would be.
  size_t counts = 0;
  for (size_t i = kFirstDataLine; i < lines.size(); ++i) {
    std::string line = lines[i];
    for (char& ch : line)
      if (ch == ',') ch = ' ';
    counts += split_numbers(line).size();
  }
  const double expected = (range[2] - range[0]) / range[1] + 1;
  return std::abs(static_cast<double>(counts) - expected) <= 1.01 ? ContentMatch::Likely
                                                                   : ContentMatch::Plausible;
}

}  // namespace vornax
