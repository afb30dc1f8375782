#include "files/indexed_list_tmp.hpp"

#include <cmath>

#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

std::vector<IndexedEntry> read_indexed_list(std::string_view bytes, const std::string& name) {
  std::vector<IndexedEntry> out;
  const auto lines = split_text_lines(bytes);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (trim(lines[i]).empty()) continue;
    const auto v = split_numbers(lines[i]);
    bool ok = v.size() >= 4;
    for (size_t j = 0; ok && j < 3; ++j)
      ok = v[j] == std::floor(v[j]) && std::fabs(v[j]) < 1e6;
    if (!ok)
      throw FormatError(name + ": line " + std::to_string(i + 1) + " is not h k l 2Theta");
    if (v[3] == 0) continue;
    if (out.size() >= 100) break;
    out.push_back({static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                   static_cast<int32_t>(v[2]), v[3]});
  }
  return out;
}

}  // namespace vornax
