#include "files/gsas_file.hpp"

#include <algorithm>
#include <sstream>
#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

constexpr size_t kFieldWidth = 8;       // fixed columns of STD and ESD
constexpr size_t kStdCounterWidth = 2;  // the counter number before an STD intensity
constexpr double kCentidegrees = 100.0;

enum class Layout { Std, Esd, Fxye };

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string t; in >> t;) w.push_back(t);
  return w;
}

double number_or_fail(std::string_view text, const std::string& name, size_t line_no) {
  const std::string t = trim(text);
  if (t.empty()) return 0;  // a blank fixed field is a zero
  const auto v = parse_real(t);
  if (!v) throw FormatError(name + ": line " + std::to_string(line_no) + ": \"" + t + "\" is not a number");
  return *v;
}

}  // namespace

ProfileFileData read_gsas_file(std::string_view bytes, const std::string& name) {
  const std::vector<std::string> lines = split_text_lines(bytes);
  size_t bank = 0;
  while (bank < lines.size() && words(lines[bank]).empty()) ++bank;
  std::string title = bank < lines.size() ? trim(lines[bank]) : "";
  if (to_upper(title).rfind("BANK", 0) == 0) title.clear();  // no title line
  while (bank < lines.size() && to_upper(trim(lines[bank])).rfind("BANK", 0) != 0) ++bank;
  if (bank == lines.size()) throw FormatError(name + ": no BANK line");

  // BANK n npts nrec bintyp bcoef1 bcoef2 bcoef3 bcoef4 [type]
  const std::vector<std::string> w = words(lines[bank]);
  if (w.size() < 7) throw FormatError(name + ": the BANK line is too short");
  const auto npts = parse_integer(w[2]);
  if (!npts || *npts <= 0) throw FormatError(name + ": bad point count on the BANK line");
  check_point_count(static_cast<size_t>(*npts), name);
  const std::string bintyp = to_upper(w[4]);
  const std::string kind = to_upper(w.back());
  const Layout layout = kind == "FXYE" ? Layout::Fxye : kind == "ESD" ? Layout::Esd : Layout::Std;
  if (layout != Layout::Fxye && bintyp != "CONS")
    throw FormatError(name + ": only CONS banks are read (this one is " + w[4] + ")");
  const auto start = parse_real(w[5]);
  const auto step = parse_real(w[6]);
  if (layout != Layout::Fxye && (!start || !step))
    throw FormatError(name + ": bad start or step on the BANK line");

  const size_t count = static_cast<size_t>(*npts);
  std::vector<double> raw, angles;
  raw.reserve(count);
  for (size_t i = bank + 1; i < lines.size() && raw.size() < count; ++i) {
    const std::string& line = lines[i];
    if (to_upper(trim(line)).rfind("BANK", 0) == 0) break;  // the next bank
    if (layout == Layout::Fxye) {
      const std::vector<std::string> f = words(line);
      if (f.empty()) continue;
      if (f.size() < 2) throw FormatError(name + ": line " + std::to_string(i + 1) + " needs x and y");
      const double x = number_or_fail(f[0], name, i + 1);
      check_finite(x, "an angle", name);
      angles.push_back(x / kCentidegrees);
      raw.push_back(number_or_fail(f[1], name, i + 1));
      continue;
    }
    const size_t stride = layout == Layout::Esd ? 2 * kFieldWidth : kFieldWidth;
    for (size_t col = 0; col < line.size() && raw.size() < count; col += stride) {
      std::string_view field = std::string_view(line).substr(col, kFieldWidth);
      if (trim(field).empty() && col + stride >= line.size()) break;  // short last line
      if (layout == Layout::Std) field = field.substr(std::min(field.size(), kStdCounterWidth));
      raw.push_back(number_or_fail(field, name, i + 1));
    }
  }
  if (raw.size() < count)
    throw FormatError(name + ": " + std::to_string(raw.size()) + " of the " +
                      std::to_string(count) + " points announced");

  ProfileFileData d;
  Profile& p = d.profile;
  if (layout == Layout::Fxye) {
    p.points.resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i)
      p.points[i].two_theta = p.points[i].two_theta_read = static_cast<float>(angles[i]);
    scale_intensities(p, raw, name);
  } else {
    check_finite(*start, "start", name);
    check_finite(*step, "step", name);
    set_stepped_points(p, static_cast<long double>(*start) / kCentidegrees,
                       static_cast<long double>(*step) / kCentidegrees, raw, name);
  }
  const auto [lo, hi] = std::minmax_element(
      p.points.begin(), p.points.end(), [](auto& a, auto& b) { return a.two_theta < b.two_theta; });
  p.start_angle = lo->two_theta;
  p.final_angle = hi->two_theta;
  p.sample = title + " (GSAS)";
  d.has_wavelength = false;
  return d;
}

}  // namespace vornax
