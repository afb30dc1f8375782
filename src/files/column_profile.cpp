#include "files/column_profile.hpp"

#include <algorithm>
#include <vector>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

ProfileFileData read_column_profile(std::string_view bytes, const std::string& name) {
  ProfileFileData d;
  Profile& p = d.profile;
  std::vector<double> angles, raw, fields;
  size_t line_no = 0;
  // Lines are cut here rather than through split_text_lines: a synchrotron scan has
  // hundreds of thousands of them, and only numbers matter.
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(pos, end - pos);
    pos = end;
    if (pos < bytes.size() && bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n')
      ++pos;
    ++pos;
    ++line_no;

    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#' || line[first] == '\'') continue;
    fields.clear();
    const bool numeric = append_numbers(line, fields, name);
    if (!numeric || fields.size() < 2 || fields.size() > 3) {
      if (angles.empty() && !numeric) continue;  // a column header before the data
      throw FormatError(name + ": line " + std::to_string(line_no) +
                        " must hold 2theta, intensity and an optional sigma");
    }
    check_finite(fields[0], "an angle", name);
    angles.push_back(fields[0]);
    raw.push_back(fields[1]);
    if (angles.size() > static_cast<size_t>(kMaxProfilePoints)) check_point_count(angles.size(), name);
  }
  check_point_count(raw.size(), name);
  p.points.resize(raw.size());
  for (size_t i = 0; i < raw.size(); ++i)
    p.points[i].two_theta = p.points[i].two_theta_read = static_cast<float>(angles[i]);
  scale_intensities(p, raw, name);
  p.start_angle = p.points.front().two_theta;
  p.final_angle = p.points.back().two_theta;
  d.has_wavelength = false;
  return d;
}

ContentMatch column_profile_content(std::string_view bytes) {
  std::vector<double> fields;
  size_t points = 0;
  double last_angle = 0;
  size_t pos = 0;
  try {
    while (pos < bytes.size()) {
      size_t end = bytes.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = bytes.size();
      const std::string_view line = bytes.substr(pos, end - pos);
      pos = end + 1;
      const size_t first = line.find_first_not_of(" \t");
      if (first == std::string_view::npos || line[first] == '#' || line[first] == '\'') continue;
      fields.clear();
      const bool numeric = append_numbers(line, fields, "");
      if (!numeric && points == 0) continue;  // a column header
      if (!numeric || fields.size() < 2 || fields.size() > 3) return ContentMatch::No;
      if (points > 0 && !(fields[0] > last_angle)) return ContentMatch::No;
      last_angle = fields[0];
      ++points;
    }
  } catch (const FormatError&) {
    return ContentMatch::No;  // a line with more numbers than a profile holds
  }
  return points >= 2 ? ContentMatch::Likely : ContentMatch::No;
}

}  // namespace vornax
