#include "files/profile_files.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

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

namespace {

// The older RAW kind takes a RAW4 file by its signature, as it always has: the kind
// chosen for ".raw" files in general.
ProfileFileData read_any_raw(std::string_view bytes, const std::string& name, int range_index) {
  if (bytes.substr(0, kRaw4Signature.size()) == kRaw4Signature)
    return read_raw4_file(bytes, name, range_index);
  return read_raw_file(bytes, name);
}

ProfileFileData read_raw4_only(std::string_view bytes, const std::string& name, int range_index) {
  if (bytes.substr(0, kRaw4Signature.size()) != kRaw4Signature)
    throw FormatError(name + ": not a RAW4 file (no \"RAW4.00\" signature)");
  return read_raw4_file(bytes, name, range_index);
}

// The readers that hold one range only ignore the index.
template <ProfileFileData (*Read)(std::string_view, const std::string&)>
ProfileFileData one_range(std::string_view bytes, const std::string& name, int) {
  return Read(bytes, name);
}

void write_raw2(const std::filesystem::path& path, const Profile& p, const std::string& title,
                double range_min) {
  write_file_atomically(path, raw2_bytes(p, title, range_min));
}

void write_cpi(const std::filesystem::path& path, const Profile& p, const std::string& title,
               double) {
  cpi_lines(p, title).save(path);
}

// One line per kind of core/profile_formats.hpp, in the same order.
constexpr std::array<ProfileCodec, kProfileFormats.size()> kProfileCodecs{{
    {ProfileFileType::BrukerRaw, read_any_raw, nullptr, write_raw2},
    {ProfileFileType::RietveldDat, one_range<read_rietveld_dat>, rietveld_dat_content},
    {ProfileFileType::Cpi, one_range<read_cpi_file>, nullptr, write_cpi},
    {ProfileFileType::PhilipsRd, one_range<read_philips_rd>},
    {ProfileFileType::Column, one_range<read_column_profile>, column_profile_content},
    {ProfileFileType::BrukerRaw4, read_raw4_only},
    {ProfileFileType::Brml, read_brml_file},
    {ProfileFileType::Xrdml, read_xrdml_file},
    {ProfileFileType::Gsas, one_range<read_gsas_file>},
}};

consteval bool codecs_match_formats() {
  for (size_t i = 0; i < kProfileCodecs.size(); ++i) {
    const ProfileCodec& c = kProfileCodecs[i];
    if (c.type != kProfileFormats[i].type || c.read == nullptr) return false;
    if ((c.write != nullptr) != kProfileFormats[i].writable) return false;
  }
  return true;
}
static_assert(codecs_match_formats(),
              "every profile kind needs its reader, and a writer exactly when it is writable");

ContentMatch content_of(ProfileFileType type, std::string_view bytes) {
  const ProfileContentTest test = profile_codec(type).content;
  return test ? test(bytes) : ContentMatch::Plausible;
}

}  // namespace

const ProfileCodec& profile_codec(ProfileFileType type) {
  return kProfileCodecs[static_cast<size_t>(type) - 1];
}

ProfileKindChoice settle_profile_type(std::string_view bytes, const std::filesystem::path& name,
                                      std::optional<ProfileFileType> chosen,
                                      ProfileFileType fallback) {
  if (chosen) return {*chosen, false};
  const std::vector<ProfileFileType> named = profile_types_named_by(name);
  if (named.empty()) return {fallback, false};
  ProfileFileType best = named.front();
  if (named.size() == 1) return {best, false};
  ContentMatch best_match = content_of(best, bytes);
  for (size_t i = 1; i < named.size(); ++i) {
    const ContentMatch m = content_of(named[i], bytes);
    if (m > best_match) {
      best = named[i];
      best_match = m;
    }
  }
  return {best, best != named.front()};
}

ProfileFileData read_profile(std::string_view bytes, const std::string& name,
                             ProfileFileType type, int range_index) {
  if (!profile_type_from_number(static_cast<int>(type)))
    throw FormatError(name + ": unknown profile kind");
  ProfileFileData d = profile_codec(type).read(bytes, name, range_index);
  check_profile_values(d.profile, name);
  return d;
}

void write_profile_file(const std::filesystem::path& path, ProfileFileType type,
                        const Profile& p, const std::string& title, double range_min) {
  const ProfileWriter write = profile_codec(type).write;
  if (!write)
    throw FormatError(profile_format_title(type) + ": the program does not write this kind");
  write(path, p, title, range_min);
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

std::string shown_number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

void check_profile_values(const Profile& p, const std::string& name) {
  check_point_count(p.points.size(), name);
  const auto refuse = [&](const std::string& why) { throw FormatError(name + ": " + why); };
  for (size_t i = 0; i < p.points.size(); ++i) {
    const double angle = p.points[i].two_theta_read;
    const std::string point = " of point " + std::to_string(i + 1);
    if (!(angle >= 0 && angle <= kMaxProfileTwoTheta))
      refuse("2Theta" + point + " (" + shown_number(angle) + ") is outside 0 to 180 degrees");
    if (i > 0) {
      const double before = p.points[i - 1].two_theta_read;
      // A zero step puts every point at one angle; a step back is a reversed range.
      if (angle == before)
        refuse("step" + point + " is 0 (2Theta " + shown_number(angle) + " repeated)");
      if (angle < before)
        refuse("step" + point + " goes back from " + shown_number(before) + " to " +
               shown_number(angle) + " (a reversed range or a negative step)");
    }
    if (!std::isfinite(p.points[i].intensity))
      refuse("intensity" + point + " is not a finite number");
  }
  // Beyond single precision the extremes overflow every stored or written intensity.
  constexpr double top = std::numeric_limits<float>::max();
  for (const double v : {p.intensity_min, p.intensity_max})
    if (!(std::fabs(v) <= top)) refuse("intensity " + shown_number(v) + " overflows");
  for (const double v : {p.start_angle, p.final_angle})
    if (!(v >= 0 && v <= kMaxProfileTwoTheta))
      refuse("angular range (" + shown_number(v) + ") is outside 0 to 180 degrees");
}

void check_step(long double start, long double step, size_t count, const std::string& name) {
  const auto refuse = [&](const std::string& why) { throw FormatError(name + ": " + why); };
  if (!std::isfinite(static_cast<double>(start)) || std::fabs(static_cast<double>(start)) > kMaxAngleValue)
    refuse("start angle (" + shown_number(static_cast<double>(start)) +
           ") is not an angle (beyond 10000 degrees)");
  if (count < 2) return;  // one point needs no step
  const double s = static_cast<double>(step);
  if (!std::isfinite(s) || std::fabs(s) > kMaxAngleValue)
    refuse("step (" + shown_number(s) + ") is not an angle (beyond 10000 degrees)");
  if (s == 0) refuse("step is 0: every point would lie at one angle");
  if (s < 0) refuse("step (" + shown_number(s) + ") is negative: a reversed range");
}

void set_stepped_points(Profile& p, long double start, long double step,
                        const std::vector<double>& raw, const std::string& name) {
  check_point_count(raw.size(), name);
  check_step(start, step, raw.size(), name);
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
  bool counts = true;
  for (double v : raw) {
    if (!std::isfinite(v)) throw FormatError(name + ": damaged file (an intensity is not a number)");
    hi = std::max(hi, v);
    lo = std::min(lo, v);
    counts = counts && v >= 0 && v == std::floor(v);
  }
  p.counts = counts;
  p.intensity_max = hi;
  p.intensity_min = lo;
  // Extended precision: the difference of two huge text values must not overflow.
  const long double span = static_cast<long double>(hi) - lo;
  for (size_t i = 0; i < raw.size(); ++i)
    p.points[i].intensity =
        span > 0 ? static_cast<float>((static_cast<long double>(raw[i]) - lo) * 100.0L / span)
                 : 0.0f;
}

void keep_range_scaled_to_largest(Profile& p, double lo, double hi) {
  std::vector<ProfilePoint> inside;
  for (const ProfilePoint& pt : p.points) {
    if (pt.two_theta > hi) break;
    if (pt.two_theta >= lo) inside.push_back(pt);
  }
  double largest = -10000;
  for (const ProfilePoint& pt : inside) largest = std::max(largest, static_cast<double>(pt.intensity));
  if (largest > 0) {
    const double f = 100.0 / largest;
    for (ProfilePoint& pt : inside) pt.intensity = static_cast<float>(pt.intensity * f);
    p.intensity_max = p.intensity_min + largest * (p.intensity_max - p.intensity_min) / 100;
  }
  p.points = std::move(inside);
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
