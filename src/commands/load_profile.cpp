#include "commands/load_profile.hpp"

#include <array>
#include <cmath>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "files/profile_files.hpp"

namespace vornax {

namespace {

// Fills in what the file or the window left open: the Kα pair from the anode, λ from
// the pair, the anode from λ, the ratio. A ratio the file gave stays, 0 included (a
// monochromated Kα1 beam has no Kα2 line).
void complete_profile_wavelengths(WavelengthSet& w, bool ratio_read) {
  complete_wavelength_set(w);
  name_anode_if_unknown(w, kProfileAnodeTolerance);
  if (w.ratio == 0 && !w.anode.empty() && !ratio_read) w.ratio = kDefaultRatio;
}

// Why a completed set cannot be the profile's ("" when it can): no usable λ, or a λ
// other than the measured peaks' one.
std::string profile_wavelength_problem(const WorkSession& s, const WavelengthSet& w) {
  if (!(w.lambda > 0) || !std::isfinite(w.lambda)) return "Lambda error!";
  if (wavelengths_differ(s.measured.wavelengths.lambda, w.lambda)) return kWavelengthMismatchMessage;
  return {};
}

}  // namespace

Changed load_profile_file(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                          const std::filesystem::path& path,
                          std::optional<ProfileFileType> chosen, int range_index,
                          ProfileLoadNote* note, ProfileFileType fallback) {
  if (path.empty()) return Changed::None;
  if (is_fixed_file(s, path)) {
    m.error(fixed_file_input_message(path));
    return Changed::None;
  }
  ProfileFileType type = fallback;
  ProfileFileData data;
  try {
    const std::string bytes = read_file_bytes(path);
    const ProfileKindChoice kind = settle_profile_type(bytes, path, chosen, fallback);
    type = kind.type;
    data = read_profile(bytes, path.filename().string(), type, range_index);
    if (note) *note = {type, kind.by_content};
  } catch (const Error& e) {
    m.error(e.what());
    return Changed::None;
  }
  Profile p = std::move(data.profile);
  p.file_name = path.string();
  p.file_kind = type;
  p.range_index = range_index;

  // A CPI file read while peaks or calculated lines are shown keeps no range of its own.
  if (type == ProfileFileType::Cpi && (!s.measured.peaks.empty() || !s.allowed.empty()))
    p.start_angle = p.final_angle = 0;

  WavelengthSet& w = p.wavelengths;
  bool ratio_read = data.ratio_read;
  if (w.lambda == 0) {
    // A refused choice leaves the window open for another one.
    const WavelengthCheck check = [&s](WavelengthSet& c) {
      complete_profile_wavelengths(c, false);
      return profile_wavelength_problem(s, c);
    };
    auto chosen = dialog.choose_checked(w, true, check);
    if (!chosen) return Changed::None;
    w = *chosen;
    ratio_read = false;
  }
  complete_profile_wavelengths(w, ratio_read);
  if (const std::string problem = profile_wavelength_problem(s, w); !problem.empty()) {
    m.error(problem);
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
  if (s.measured.wavelengths.lambda == 0) {
    s.wavelengths.lambda = w.lambda;
    s.wavelengths.lambda1 = w.lambda1;
    s.wavelengths.lambda2 = w.lambda2;
    s.wavelengths.ratio = w.ratio;
    s.range_min = s.window_min = p.start_angle;
    s.range_max = s.window_max = p.final_angle;
    changed |= Changed::CurrentValues;
  }
  // A second derivative computed from the old profile must not be taken for this one.
  p.generation = s.profile.generation + 1;
  s.profile = std::move(p);
  return changed;
}

std::string profile_kind_note_text(const std::filesystem::path& path, const ProfileLoadNote& note) {
  if (!note.by_content) return {};
  return path.filename().string() + " read as " + profile_format_title(note.type);
}

bool profile_can_be_reread(const Profile& p) {
  if (p.file_name.empty()) return false;
  return p.file_kind || !profile_types_named_by(p.file_name).empty();
}

Profile reread_profile_file(const Profile& p) {
  const std::filesystem::path path(p.file_name);
  const std::string bytes = read_file_bytes(path);
  const ProfileFileType type = settle_profile_type(bytes, path, p.file_kind).type;
  Profile fresh = read_profile(bytes, path.filename().string(), type, p.range_index).profile;
  fresh.file_name = p.file_name;
  fresh.file_kind = type;
  fresh.range_index = p.range_index;
  return fresh;
}

}  // namespace vornax
