#include "files/gsas_file.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"
#include "core/text_lines.hpp"

namespace vornax {

namespace {

constexpr size_t kFieldWidth = 8;       // fixed columns of STD and ESD
constexpr size_t kStdCounterWidth = 2;  // the counter number before an STD intensity
constexpr double kCentidegrees = 100.0;

enum class Layout { Std, Esd, Fxye };

// The first `n` blank-separated words of a line, as an istringstream would give them,
// into `out`; returns how many there are, counting at most n + 1.
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

size_t words(std::string_view line, std::string_view* out, size_t n) {
  size_t count = 0;
  size_t i = 0;
  while (count <= n) {
    while (i < line.size() && is_space(line[i])) ++i;
    if (i == line.size()) break;
    size_t e = i;
    while (e < line.size() && !is_space(line[e])) ++e;
    if (count < n) out[count] = line.substr(i, e - i);
    ++count;
    i = e;
  }
  return count;
}

std::vector<std::string> all_words(std::string_view line) {
  std::vector<std::string> w;
  constexpr std::string_view kSpace = " \t\v\f";
  for (size_t i = line.find_first_not_of(kSpace); i != std::string_view::npos;
       i = line.find_first_not_of(kSpace, i)) {
    size_t e = line.find_first_of(kSpace, i);
    if (e == std::string_view::npos) e = line.size();
    w.emplace_back(cp1252_to_utf8(line.substr(i, e - i)));
    i = e;
  }
  return w;
}

std::string_view trimmed(std::string_view t) {
  size_t b = 0, e = t.size();
  while (b < e && (t[b] == ' ' || t[b] == '\t')) ++b;
  while (e > b && (t[e - 1] == ' ' || t[e - 1] == '\t')) --e;
  return t.substr(b, e - b);
}

// A line whose first word begins with BANK, in any case.
bool is_bank_line(std::string_view line) {
  const std::string_view t = trimmed(line);
  if (t.size() < 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if ((t[i] & ~0x20) != "BANK"[i]) return false;
  return true;
}

double number_or_fail(std::string_view text, const std::string& name, size_t line_no) {
  const std::string_view t = trimmed(text);
  if (t.empty()) return 0;  // a blank fixed field is a zero
  // Plain numbers, the bulk of a bank, take the quick path; anything else (a sign, a
  // decimal comma, a refused form) goes through the strict parser.
  double quick = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), quick);
  if (ec == std::errc() && end == t.data() + t.size() && std::isfinite(quick)) return quick;
  const auto v = parse_real(t);
  if (!v)
    throw FormatError(name + ": line " + std::to_string(line_no) + ": \"" + cp1252_to_utf8(t) +
                      "\" is not a number");
  return *v;
}

}  // namespace

// Lines are walked in place rather than split into strings: a synchrotron bank holds
// hundreds of thousands of points.
ProfileFileData read_gsas_file(std::string_view bytes, const std::string& name) {
  TextLineWalker lines(bytes);
  std::string_view line;
  bool found = lines.next(line);
  while (found && words(line, nullptr, 0) == 0) found = lines.next(line);
  std::string title = found ? trim(cp1252_to_utf8(line)) : "";
  if (found && is_bank_line(line)) title.clear();  // no title line
  while (found && !is_bank_line(line)) found = lines.next(line);
  if (!found) throw FormatError(name + ": no BANK line");

  // BANK n npts nrec bintyp bcoef1 bcoef2 bcoef3 bcoef4 [type]
  const std::vector<std::string> w = all_words(line);
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
  if (layout == Layout::Fxye) angles.reserve(count);
  while (raw.size() < count && lines.next(line)) {
    const size_t line_no = lines.line_number();
    if (is_bank_line(line)) break;  // the next bank
    if (layout == Layout::Fxye) {
      std::string_view f[2];
      const size_t n = words(line, f, 2);
      if (n == 0) continue;
      if (n < 2) throw FormatError(name + ": line " + std::to_string(line_no) + " needs x and y");
      const double x = number_or_fail(f[0], name, line_no);
      check_finite(x, "an angle", name);
      angles.push_back(x / kCentidegrees);
      raw.push_back(number_or_fail(f[1], name, line_no));
      continue;
    }
    const size_t stride = layout == Layout::Esd ? 2 * kFieldWidth : kFieldWidth;
    for (size_t col = 0; col < line.size() && raw.size() < count; col += stride) {
      std::string_view field = line.substr(col, kFieldWidth);
      if (trimmed(field).empty() && col + stride >= line.size()) break;  // short last line
      if (layout == Layout::Std) field = field.substr(std::min(field.size(), kStdCounterWidth));
      raw.push_back(number_or_fail(field, name, line_no));
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
