// scfs.dat, the operator list of a Getspec choice, as the calculation reads it back.
#include <cstdint>
#include <string_view>

#include "core/symmetry.hpp"
#include "core/text_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto lines =
      vornax::split_text_lines(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    auto ops = vornax::scfs_from_lines(lines, "scfs.dat");
    vornax::add_lattice_centring(ops, size % 2 ? 'F' : 'R', size % 3 ? "HEXA" : "CUBI");
  } catch (const vornax::FileError&) {
  }
  return 0;
}
