#include "selection/obs_backup.hpp"

#include <cmath>

#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

constexpr int kCountWidth = 6;
constexpr int kIndexWidth = 4;
constexpr int kAngleWidth = 8;
constexpr int kAngleDecimals = 4;
constexpr size_t kPairLineLength = 3 * kIndexWidth + 3 * kAngleWidth;

bool fits(const std::string& field, int width) { return field.size() == static_cast<size_t>(width); }

bool is_blank_line(std::string_view line) { return trim(line).empty(); }

}  // namespace

std::optional<std::vector<std::string>> obs_backup_lines(const std::vector<SelectedPair>& pairs) {
  std::vector<std::string> lines;
  lines.push_back(format_int(static_cast<long long>(pairs.size()), kCountWidth));
  for (const SelectedPair& p : pairs) {
    std::string line;
    for (int v : {static_cast<int>(p.h), static_cast<int>(p.k), static_cast<int>(p.l)}) {
      std::string f = format_int(v, kIndexWidth);
      if (!fits(f, kIndexWidth)) return std::nullopt;
      line += f;
    }
    for (float a : {p.two_theta_obs, p.two_theta_calc, p.two_theta_obs_shifted}) {
      if (!std::isfinite(a)) return std::nullopt;
      std::string f = format_fixed(a, kAngleWidth, kAngleDecimals);
      if (!fits(f, kAngleWidth)) return std::nullopt;
      line += f;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

ObsBackupRead parse_obs_backup(std::string_view bytes) {
  ObsBackupRead out;
  const std::vector<std::string> lines = split_text_lines(bytes);
  auto fail = [&out](std::string why) {
    out.pairs.clear();
    out.error = std::move(why);
    return out;
  };
  if (lines.empty()) return fail("the file is empty");
  const auto count = parse_integer(lines[0]);
  if (!count || *count < 0 || *count > kMaxSelectedPairs)
    return fail("line 1: the pair count must be 0 to " + std::to_string(kMaxSelectedPairs));
  if (lines.size() < static_cast<size_t>(*count) + 1) return fail("fewer pairs than counted");

  std::vector<SelectedPair> pairs;
  pairs.reserve(static_cast<size_t>(*count));
  for (long long i = 1; i <= *count; ++i) {
    const std::string& line = lines[static_cast<size_t>(i)];
    const std::string where = "line " + std::to_string(i + 1);
    if (line.size() != kPairLineLength) return fail(where + ": not 36 characters");
    SelectedPair p;
    int32_t* idx[3] = {&p.h, &p.k, &p.l};
    for (int f = 0; f < 3; ++f) {
      auto v = parse_integer(std::string_view(line).substr(static_cast<size_t>(f * kIndexWidth),
                                                           kIndexWidth));
      if (!v || *v < -999 || *v > 9999) return fail(where + ": an index is not an integer");
      *idx[f] = static_cast<int32_t>(*v);
    }
    float* ang[3] = {&p.two_theta_obs, &p.two_theta_calc, &p.two_theta_obs_shifted};
    for (int f = 0; f < 3; ++f) {
      const size_t at = 3 * kIndexWidth + static_cast<size_t>(f * kAngleWidth);
      auto v = parse_real(std::string_view(line).substr(at, kAngleWidth));
      if (!v || std::fabs(*v) > 1e4) return fail(where + ": an angle is not a number");
      *ang[f] = static_cast<float>(*v);
    }
    pairs.push_back(p);
  }
  for (size_t i = static_cast<size_t>(*count) + 1; i < lines.size(); ++i)
    if (!is_blank_line(lines[i])) return fail("line " + std::to_string(i + 1) + ": unexpected text");
  out.pairs = std::move(pairs);
  return out;
}

}  // namespace vornax
