#include "files/indexed_list_file.hpp"

#include <cstdint>
#include <limits>

#include "core/format.hpp"
#include "core/text_file.hpp"
#include "core/text_lines.hpp"
#include "files/cell_file.hpp"

namespace vornax {

namespace {

// The blank-separated fields of a line, at most `n`.
std::vector<std::string_view> fields(std::string_view line, size_t n) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size() && out.size() < n) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t b = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (b < i) out.push_back(line.substr(b, i - b));
  }
  return out;
}

}  // namespace

IndexedListRead read_indexed_list(std::string_view bytes, const std::string& name,
                                  size_t capacity) {
  IndexedListRead out;
  TextLineWalker lines(bytes);
  for (std::string_view line; lines.next(line);) {
    const size_t line_number = lines.line_number();
    if (is_blank_line(line)) continue;
    const auto f = fields(line, 4);
    auto bad = [&] {
      return FormatError(name + ": line " + std::to_string(line_number) +
                         " does not begin with h k l 2Theta");
    };
    if (f.size() < 4) throw bad();
    IndexedEntry e;
    int32_t* idx[3] = {&e.h, &e.k, &e.l};
    for (size_t i = 0; i < 3; ++i) {
      const auto v = parse_integer(f[i]);
      // Indices are kept as 16-bit numbers in the selected pairs.
      if (!v || *v < std::numeric_limits<int16_t>::min() ||
          *v > std::numeric_limits<int16_t>::max())
        throw bad();
      *idx[i] = static_cast<int32_t>(*v);
    }
    const auto t = parse_real(f[3]);
    if (!t) throw bad();
    e.two_theta = *t;
    if (e.two_theta == 0) continue;
    if (out.entries.size() < capacity) out.entries.push_back(e);
    else ++out.extra;
  }
  return out;
}

std::vector<IndexedEntry> read_indexed_list(std::string_view bytes, const std::string& name) {
  return read_indexed_list(bytes, name, kMaxIndexedEntries).entries;
}

std::string indexed_list_line(int h, int k, int l, double two_theta) {
  std::string line;
  append_field(line, format_int(h, 4));
  append_field(line, format_int(k, 4));
  append_field(line, format_int(l, 4));
  append_field(line, format_fixed(two_theta, 10, 4));
  return line;
}

std::vector<std::string> indexed_list_lines(const std::vector<IndexedEntry>& entries) {
  std::vector<std::string> out;
  out.reserve(entries.size());
  for (const auto& e : entries) out.push_back(indexed_list_line(e.h, e.k, e.l, e.two_theta));
  return out;
}

void write_indexed_list(const std::filesystem::path& path,
                        const std::vector<IndexedEntry>& entries) {
  TextFile f;
  f.lines = indexed_list_lines(entries);
  f.save(path);
}

}  // namespace vornax
