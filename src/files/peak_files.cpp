#include "files/peak_files.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

std::optional<PeakFileType> peak_file_type_from_int(int value) {
  if (value < 1 || value > 7) return std::nullopt;
  return static_cast<PeakFileType>(value);
}

std::optional<PeakFileType> peak_type_from_extension(const std::filesystem::path& file) {
  // Names may come with either separator; only the last component has an extension.
  std::string name = file.string();
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::nullopt;
  const std::string ext = to_upper(name.substr(dot));
  if (ext == ".DIF") return PeakFileType::BrukerDif;
  if (ext == ".TXT") return PeakFileType::Xfit;
  if (ext == ".DAT") return PeakFileType::Winfit;
  if (ext == ".DI") return PeakFileType::PhilipsDi;
  if (ext == ".PRN") return PeakFileType::ColumnPrn;
  if (ext == ".CDT") return PeakFileType::ColumnAny;
  if (ext == ".LST") return PeakFileType::IndexedList;
  return std::nullopt;
}

bool peak_type_has_wavelength(PeakFileType type) {
  return type == PeakFileType::BrukerDif || type == PeakFileType::PhilipsDi;
}

void add_read_peak(PeakFileData& d, double two_theta, double intensity) {
  if (static_cast<int>(d.peaks.size()) >= kMaxMeasuredPeaks) {
    d.truncated = true;
    if (d.limit_message.empty()) d.limit_message = kTooManyPeaksRead;
    return;
  }
  MeasuredPeak p;
  p.two_theta = p.two_theta_read = two_theta;
  p.intensity = intensity;
  p.line_code = 1;
  d.peaks.push_back(p);
}

void normalise_intensities(PeakFileData& d) {
  double largest = 0;
  for (const auto& p : d.peaks)
    if (p.intensity > largest) largest = p.intensity;
  d.intensity_max = largest;
  if (!(largest > 0)) return;
  const double factor = kNormalisedIntensity / largest;
  for (auto& p : d.peaks) p.intensity *= factor;
}

void finish_peak_range(PeakFileData& d, const std::string& name, double tolerance, double cap) {
  if (d.peaks.empty()) throw FormatError(name + ": no peaks in the file");
  double lo = d.peaks.front().two_theta, hi = lo;
  for (const auto& p : d.peaks) {
    lo = std::min(lo, p.two_theta);
    hi = std::max(hi, p.two_theta);
  }
  d.range_min = lo - tolerance;
  d.range_max = hi + tolerance;
  if (cap > 0 && d.range_max >= cap + 1) d.range_max = cap;
}

void check_peak_values(const PeakFileData& d, const std::string& name) {
  const auto shown = [](double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return std::string(text);
  };
  for (size_t i = 0; i < d.peaks.size(); ++i) {
    const MeasuredPeak& p = d.peaks[i];
    const std::string peak = " of peak " + std::to_string(i + 1);
    // A peak at 0 is no reflection: records read out of step with the file give it.
    if (!(p.two_theta_read > 0 && p.two_theta_read <= 180))
      throw FormatError(name + ": 2Theta" + peak + " (" + shown(p.two_theta_read) +
                        ") is outside 0 to 180 degrees");
    if (!std::isfinite(p.intensity))
      throw FormatError(name + ": intensity" + peak + " is not a finite number (" +
                        shown(p.intensity) + ")");
  }
  if (!std::isfinite(d.intensity_max))
    throw FormatError(name + ": intensity " + shown(d.intensity_max) + " overflows");
}

namespace {

PeakFileData read_by_type(PeakFileType type, std::string_view bytes, const std::string& name,
                          double tolerance) {
  switch (type) {
    case PeakFileType::BrukerDif: return read_dif_file(bytes, name, tolerance);
    case PeakFileType::Xfit: return read_xfit_file(bytes, name, tolerance);
    case PeakFileType::Winfit: return read_winfit_file(bytes, name, tolerance);
    case PeakFileType::PhilipsDi: return read_philips_di(bytes, name, tolerance);
    case PeakFileType::ColumnPrn:
    case PeakFileType::ColumnAny: return read_column_peaks(bytes, name, tolerance);
    case PeakFileType::IndexedList: return read_indexed_peaks(bytes, name, tolerance);
  }
  throw FormatError(kUnknownFileType);
}

}  // namespace

PeakFileData read_peak_file(PeakFileType type, std::string_view bytes, const std::string& name,
                            double tolerance) {
  PeakFileData d = read_by_type(type, bytes, name, tolerance);
  check_peak_values(d, name);
  return d;
}

PeakFileData read_peak_file(PeakFileType type, const std::filesystem::path& path, double tolerance) {
  const std::string bytes = read_file_bytes(path);
  return read_peak_file(type, bytes, path.filename().string(), tolerance);
}

}  // namespace vornax
