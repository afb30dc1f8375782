#include "files/profile_files.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"
#include "files/column_profile.hpp"
#include "files/cpi_file.hpp"
#include "files/philips_rd.hpp"
#include "files/brml_file.hpp"
#include "files/gsas_file.hpp"
#include "files/raw4_file.hpp"
#include "files/raw_file.hpp"
#include "files/xrdml_file.hpp"
#include "files/rietveld_dat.hpp"

namespace vornax {

std::string upper_extension(const std::filesystem::path& name) {
  return to_upper(name.filename().extension().string());
}

ProfileFileType profile_type_from_name(const std::filesystem::path& name,
                                       ProfileFileType chosen) {
  const std::string ext = upper_extension(name);
  if (ext == ".RAW")
    return chosen == ProfileFileType::BrukerRaw4 ? chosen : ProfileFileType::BrukerRaw;
  if (ext == ".BRML") return ProfileFileType::Brml;
  if (ext == ".XRDML") return ProfileFileType::Xrdml;
  if (ext == ".GSA" || ext == ".GSAS" || ext == ".GSS" || ext == ".FXYE" || ext == ".ESD" ||
      ext == ".STD")
    return ProfileFileType::Gsas;
  if (ext == ".DAT") return ProfileFileType::RietveldDat;
  if (ext == ".CPI") return ProfileFileType::Cpi;
  if (ext == ".RD") return ProfileFileType::PhilipsRd;
  if (ext == ".XY" || ext == ".XYE" || ext == ".PRN" || ext == ".TXT")
    return ProfileFileType::Column;
  return chosen;
}

bool profile_type_has_ranges(ProfileFileType type) {
  return type == ProfileFileType::BrukerRaw || type == ProfileFileType::BrukerRaw4 ||
         type == ProfileFileType::Brml;
}

ProfileFileData read_profile(std::string_view bytes, const std::string& name,
                             ProfileFileType type, int range_index) {
  const bool raw4 = bytes.substr(0, kRaw4Signature.size()) == kRaw4Signature;
  switch (type) {
    case ProfileFileType::BrukerRaw:
    case ProfileFileType::BrukerRaw4:
      if (raw4) return read_raw4_file(bytes, name, range_index);
      if (type == ProfileFileType::BrukerRaw4)
        throw FormatError(name + ": not a RAW4 file (no \"RAW4.00\" signature)");
      return read_raw_file(bytes, name);
    case ProfileFileType::Brml: return read_brml_file(bytes, name, range_index);
    case ProfileFileType::Xrdml: return read_xrdml_file(bytes, name);
    case ProfileFileType::Gsas: return read_gsas_file(bytes, name);
    case ProfileFileType::RietveldDat: return read_rietveld_dat(bytes, name);
    case ProfileFileType::Cpi: return read_cpi_file(bytes, name);
    case ProfileFileType::PhilipsRd: return read_philips_rd(bytes, name);
    case ProfileFileType::Column: return read_column_profile(bytes, name);
  }
  throw FormatError(name + ": unknown profile kind");
}

ProfileFileData read_profile_file(const std::filesystem::path& path, ProfileFileType type,
                                  int range_index) {
  return read_profile(read_file_bytes(path), path.filename().string(), type, range_index);
}

void check_point_count(size_t count, const std::string& name) {
  if (count == 0) throw FormatError(name + ": no intensities in the file");
  if (count > static_cast<size_t>(kMaxProfilePoints))
    throw FormatError(name + ": the profile has more than " +
                      std::to_string(kMaxProfilePoints) + " points");
}

void check_finite(double value, std::string_view what, const std::string& name) {
  if (!std::isfinite(value))
    throw FormatError(name + ": damaged file (" + std::string(what) + " is not a number)");
}

void set_stepped_points(Profile& p, long double start, long double step,
                        const std::vector<double>& raw, const std::string& name) {
  check_point_count(raw.size(), name);
  p.points.resize(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const auto angle = static_cast<float>(start + static_cast<long double>(i) * step);
    p.points[i].two_theta = angle;
    p.points[i].two_theta_read = angle;
  }
  scale_intensities(p, raw, name);
}

void scale_intensities(Profile& p, const std::vector<double>& raw, const std::string& name) {
  if (raw.empty()) {
    p.intensity_max = p.intensity_min = 0;
    return;
  }
  double hi = raw[0], lo = raw[0];
  for (double v : raw) {
    if (!std::isfinite(v)) throw FormatError(name + ": damaged file (an intensity is not a number)");
    hi = std::max(hi, v);
    lo = std::min(lo, v);
  }
  p.intensity_max = hi;
  p.intensity_min = lo;
  // Extended precision: the difference of two huge text values must not overflow.
  const long double span = static_cast<long double>(hi) - lo;
  for (size_t i = 0; i < raw.size(); ++i)
    p.points[i].intensity =
        span > 0 ? static_cast<float>((static_cast<long double>(raw[i]) - lo) * 100.0L / span)
                 : 0.0f;
}

bool append_numbers(std::string_view line, std::vector<double>& out, const std::string& name) {
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    const size_t b = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    if (b == pos) break;
    const std::string_view field = line.substr(b, pos - b);
    // Plain numbers, the bulk of a long scan, take the quick path; anything else
    // (a sign, a decimal comma, a refused form) goes through the strict parser.
    double quick = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), quick);
    if (ec == std::errc() && end == field.data() + field.size() && std::isfinite(quick)) {
      out.push_back(quick);
    } else {
      const auto v = parse_real(field);
      if (!v) return false;
      out.push_back(*v);
    }
    if (out.size() > static_cast<size_t>(kMaxProfilePoints)) check_point_count(out.size(), name);
  }
  return true;
}

double lambda_from_pair(double lambda1, double lambda2, double& ratio) {
  if (ratio == -1) ratio = 0.5;
  if (lambda2 == 0) return lambda1;
  return (ratio * lambda2 + lambda1) / (ratio + 1);
}

}  // namespace vornax
