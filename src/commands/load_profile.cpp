#include "commands/load_profile.hpp"

#include <array>
#include <cmath>

#include "core/format.hpp"
#include "core/text_file.hpp"
#include "files/byte_cursor.hpp"

namespace vornax {

namespace {

// Kα1 and Kα2 of the five anodes the program knows.
struct AnodeLineRow {
  const char* anode;
  AnodeLines lines;
};
constexpr std::array<AnodeLineRow, 5> kAnodeLineTable = {{{"MO", {0.7093, 0.71359}},
                                                          {"CU", {1.54056, 1.54439}},
                                                          {"CO", {1.78897, 1.79285}},
                                                          {"FE", {1.93339, 1.9373}},
                                                          {"CR", {2.2897, 2.29361}}}};

// A float32 λ read from a file is off by ~1e-7; a difference of exactly the
// tolerance must still pass.
constexpr double kCompareSlack = 1e-9;

// Fills in what the file or the window left open: the Kα pair from the anode, λ from
// the pair, the anode from λ, the ratio.
void complete_profile_wavelengths(WavelengthSet& w) {
  if (w.lambda1 == 0 || (w.lambda2 == 0 && !w.anode.empty())) {
    if (auto lines = anode_lines(w.anode)) {
      w.lambda1 = lines->lambda1;
      w.lambda2 = lines->lambda2;
      if (w.ratio == 0) w.ratio = 0.5;
    }
  }
  if (w.lambda == 0 && w.lambda1 > 0) complete_wavelength_set(w);
  w.anode = trim(w.anode).substr(0, 2);
  if (w.anode.empty() || w.anode == "?")
    w.anode = w.lambda > 0 ? name_anode(w.lambda, kProfileLambdaTolerance) : "?";
  if (w.ratio == 0 && !w.anode.empty()) w.ratio = 0.5;
}

}  // namespace

std::optional<AnodeLines> anode_lines(std::string_view anode) {
  const std::string key = to_upper(trim(anode));
  for (const auto& row : kAnodeLineTable)
    if (key == row.anode) return row.lines;
  return std::nullopt;
}

Changed load_profile_file(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                          const std::filesystem::path& path, ProfileFileType type) {
  if (path.empty()) return Changed::None;
  type = profile_type_from_name(path, type);
  ProfileFileData data;
  try {
    data = read_profile_file(path, type);
  } catch (const FormatError& e) {
    m.error(e.what());
    return Changed::None;
  } catch (const FileError& e) {
    m.error(e.what());
    return Changed::None;
  }
  Profile p = std::move(data.profile);
  p.file_name = path.string();

  // A CPI file read while peaks or calculated lines are shown keeps no range of its own.
  if (type == ProfileFileType::Cpi && (!s.measured.peaks.empty() || !s.allowed.empty()))
    p.start_angle = p.final_angle = 0;

  WavelengthSet& w = p.wavelengths;
  if (w.lambda == 0) {
    auto chosen = dialog.choose(w, true);
    if (!chosen) return Changed::None;
    w = *chosen;
  }
  complete_profile_wavelengths(w);
  if (!(w.lambda > 0) || !std::isfinite(w.lambda)) {
    m.error("Lambda error!");
    return Changed::None;
  }
  const double peaks_lambda = s.measured.wavelengths.lambda;
  if (peaks_lambda != 0 &&
      std::abs(w.lambda - peaks_lambda) > kProfileLambdaTolerance + kCompareSlack) {
    m.error("The wavelength read in the file is different from the wavelength of the measured peaks");
    return Changed::None;
  }

  // Commit. A profile read again takes the zero offset already applied to the peaks.
  for (auto& pt : p.points)
    pt.two_theta = static_cast<float>(pt.two_theta_read + s.measured.zero_offset);
  Changed changed = Changed::Profile;
  if (s.measured.peaks.empty()) {
    s.wavelengths.lambda = 0;
    s.range_min = s.range_max = 0;
    s.window_min = s.window_max = 0;
    changed |= Changed::CurrentValues;
  }
  if (peaks_lambda == 0) {
    s.wavelengths.lambda = w.lambda;
    s.wavelengths.lambda1 = w.lambda1;
    s.wavelengths.lambda2 = w.lambda2;
    s.wavelengths.ratio = w.ratio;
    s.range_min = s.window_min = p.start_angle;
    s.range_max = s.window_max = p.final_angle;
    changed |= Changed::CurrentValues;
  }
  s.profile = std::move(p);
  return changed;
}

}  // namespace vornax
