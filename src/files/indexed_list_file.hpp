// Indexed lists (.lst): one reflection per line, h k l (4 characters each) and the
// observed 2θ (10 characters, 4 decimals), no header. Read by blank-separated fields,
// so any widths are read alike.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/session.hpp"

namespace vornax {

struct IndexedListRead {
  std::vector<IndexedEntry> entries;  // at most the capacity asked for, in file order
  int extra = 0;                      // entries in the file beyond that capacity
  bool overflow() const { return extra > 0; }
};

// Every line holds h, k, l (integers) and 2θ (a real) first; anything after them is
// not read. Blank lines are passed over and a line whose 2θ is 0 is dropped. A line
// that does not begin with those four numbers throws FormatError naming the line.
// Entries beyond `capacity` are counted, not kept.
IndexedListRead read_indexed_list(std::string_view bytes, const std::string& name,
                                  size_t capacity);

// The measured-peak loader's form: at most kMaxIndexedEntries entries. A caller that
// must tell the user about the rest uses the form above.
std::vector<IndexedEntry> read_indexed_list(std::string_view bytes, const std::string& name);

// The lines as written (h, k, l 4 characters, 2θ 10:4, a blank kept between numbers
// even when a field overflows).
std::string indexed_list_line(int h, int k, int l, double two_theta);
std::vector<std::string> indexed_list_lines(const std::vector<IndexedEntry>& entries);
// Writes them with CR LF line ends. Throws FileError.
void write_indexed_list(const std::filesystem::path& path,
                        const std::vector<IndexedEntry>& entries);

}  // namespace vornax
