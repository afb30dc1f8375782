// spgr2.dat, the space-group catalogue: the Getspec list entries of every line, and
// the lookup of a symbol (the Hall symbol of its line parsed by the space-group
// library) whose operator list is then read back as scfs.dat would be.
#include <cstdint>
#include <string_view>

#include "core/catalogue.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vornax;
  const auto lines = split_text_lines(std::string_view(reinterpret_cast<const char*>(data), size));
  if (lines.empty()) return 0;
  for (const auto& line : lines) (void)getspec_entry(line);
  // The symbol looked up: the H-M field of a line chosen by the input's size.
  const std::string entry = getspec_entry(lines[size % lines.size()]);
  std::array<int32_t, 16> codes;
  codes.fill(32);
  for (size_t i = 0; i < 12 && i < entry.size(); ++i) codes[i] = static_cast<unsigned char>(entry[i]);
  try {
    const TextFile out = getspec_text(codes, lines, "spgr2.dat");
    (void)scfs_from_lines(out.lines, "scfs.dat");
  } catch (const FileError&) {
  }
  return 0;
}
