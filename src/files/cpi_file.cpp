#include "files/cpi_file.hpp"

#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"

namespace vornax {

namespace {

// 0-based line numbers of the header
constexpr size_t kStartLine = 1, kEndLine = 2, kStepLine = 3, kAnodeLine = 4, kLambdaLine = 5;
constexpr size_t kSampleLine = 8, kFirstDataLine = 10;
constexpr size_t kSampleColumn = 11;  // after "SampleIdent"

double header_number(const std::vector<std::string>& lines, size_t i, const char* what,
                     const std::string& name) {
  const auto v = parse_real(lines[i]);
  if (!v) throw FormatError(name + ": line " + std::to_string(i + 1) + " must hold the " + what);
  return *v;
}

}  // namespace

ProfileFileData read_cpi_file(std::string_view bytes, const std::string& name) {
  const std::vector<std::string> lines = split_text_lines(bytes);
  if (lines.size() < kFirstDataLine) throw FormatError(name + ": file too short for its header");
  ProfileFileData d;
  Profile& p = d.profile;
  const double start = header_number(lines, kStartLine, "start angle", name);
  const double end = header_number(lines, kEndLine, "end angle", name);
  const double step = header_number(lines, kStepLine, "step", name);
  p.wavelengths.anode = trim(lines[kAnodeLine]).substr(0, 2);
  const std::string lambda_text = trim(lines[kLambdaLine]);
  const double lambda =
      lambda_text.empty() ? 0 : header_number(lines, kLambdaLine, "wavelength", name);
  const std::string& sample = lines[kSampleLine];
  p.sample = sample.size() > kSampleColumn ? trim(sample.substr(kSampleColumn)) : "";
  p.wavelengths.lambda = lambda;

  std::vector<double> raw;
  for (size_t i = kFirstDataLine; i < lines.size(); ++i) {
    if (!append_numbers(lines[i], raw, name))
      throw FormatError(name + ": line " + std::to_string(i + 1) + " is not an intensity");
  }
  set_stepped_points(p, start, step, raw, name);
  p.start_angle = start;
  p.final_angle = end;
  d.has_wavelength = lambda != 0;
  return d;
}

TextFile cpi_lines(const Profile& p, const std::string& title) {
  TextFile f;
  const size_t n = p.points.size();
  const double first = n ? p.points.front().two_theta : 0.0;
  const double last = n ? p.points.back().two_theta : 0.0;
  const double step = n > 1 ? (last - first) / static_cast<double>(n - 1) : 0.0;
  f.add("SIETRONICS XRD SCAN");
  f.add(format_fixed(first, 7, 6));
  f.add(format_fixed(last, 7, 6));
  // Ten decimals keep the last angle of a two-million-point scan within 1e-4°.
  f.add(format_fixed(step, 7, 10));
  f.add(p.wavelengths.anode.substr(0, 2));
  f.add(format_fixed(p.wavelengths.lambda, 8, 5));
  f.add("00:00:00");  // the current date taken at midnight, shown as a time
  f.add("1");
  f.add("SampleIdent " + title);
  f.add("SCANDATA");
  for (const auto& pt : p.points) f.add(format_fixed(pt.intensity * 100.0, 10, 0));
  return f;
}

}  // namespace vornax
