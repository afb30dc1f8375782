// scfs.dat, the operator list of a Getspec choice, as the calculation reads it back.
#include <cstdint>

#include "core/symmetry.hpp"
#include "core/text_file.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = vornax::fuzz::write_input(data, size, "scfs.dat");
  try {
    auto ops = vornax::read_scfs(file);
    vornax::add_lattice_centring(ops, size % 2 ? 'F' : 'R', size % 3 ? "HEXA" : "CUBI");
  } catch (const vornax::FileError&) {
  }
  return 0;
}
