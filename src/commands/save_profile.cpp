#include "commands/save_profile.hpp"

#include "commands/report_files.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "files/profile_files.hpp"

namespace vornax {

namespace {

// A report field that keeps at least one blank before it, however wide the number.
std::string column(std::string field) {
  if (field.empty() || field.front() != ' ') field.insert(field.begin(), ' ');
  return field;
}

}  // namespace

Changed save_profile(WorkSession& s, Messages& m, const std::filesystem::path& chosen,
                     ProfileSaveKind kind) {
  return save_profile(s, m, chosen,
                      kind == ProfileSaveKind::Raw2 ? ProfileFileType::BrukerRaw : ProfileFileType::Cpi);
}

Changed save_profile(WorkSession& s, Messages& m, const std::filesystem::path& chosen,
                     ProfileFileType kind) {
  if (s.profile.points.empty()) {
    m.error("No pattern!");
    return Changed::None;
  }
  if (chosen.empty()) return Changed::None;
  const std::string ext(profile_format(kind).extensions[0].name);
  std::string name = chosen.string();
  if (name.find(ext) == std::string::npos) name += ext;
  const std::filesystem::path path(name);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    m.beep();
    if (m.ask("This file already exists. Do you want to continue?") != Answer::Yes)
      return Changed::None;
  }
  try {
    write_profile_file(path, kind, s.profile, s.title, s.range_min);
  } catch (const Error& e) {
    m.error(e.what());
    return Changed::None;
  }
  s.saved_profile_name = path.string();
  return Changed::Profile;
}

TextFile raw_out_report(const Profile& p) {
  const WavelengthSet& w = p.wavelengths;
  const size_t n = p.points.size();
  const double step = n > 1 ? double(p.points[1].two_theta) - p.points[0].two_theta : 0.0;
  TextFile f;
  f.add("File name    :" + file_name_only(p.file_name));
  f.add("sample ID    :" + p.sample);
  f.add("Anode        :" + w.anode);
  f.add("Ratio        :" + format_fixed(w.ratio, 8, 2));
  f.add("Lambda       :" + format_fixed(w.lambda, 8, 5));
  f.add("Lambda1      :" + format_fixed(w.lambda1, 8, 5));
  f.add("Lambda2      :" + format_fixed(w.lambda2, 8, 5));
  f.add("Start angle  :" + format_fixed(p.start_angle, 8, 2));
  f.add("Final angle  :" + format_fixed(p.final_angle, 8, 2));
  f.add("Step Size    :" + format_fixed(step, 8, 3));
  f.add("Nb of points :" + format_int(static_cast<long long>(n), 8));
  const double span = p.intensity_max - p.intensity_min;
  std::string line;
  for (size_t i = 0; i < n; ++i) {
    const double counts = p.points[i].intensity * span / 100.0 + p.intensity_min;
    line += column(format_fixed(p.points[i].two_theta, 8, 3));
    line += column(format_fixed(counts, 8, 0));
    if (i % 5 == 4 || i + 1 == n) {
      f.add(std::move(line));
      line.clear();
    }
  }
  return f;
}

std::optional<std::filesystem::path> edit_raw(const WorkSession& s, Messages& m) {
  if (s.profile.points.empty()) {
    m.error("No diagram!");
    return std::nullopt;
  }
  return write_report(s, FixedFile::RawReport, raw_out_report(s.profile), m);
}

}  // namespace vornax
