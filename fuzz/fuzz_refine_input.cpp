// vornax.inp, the refinement's input, loaded as the engine loads it.
#include <cstdint>

#include "core/text_file.hpp"
#include "fuzz_support.hpp"
#include "refine/refinement.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = vornax::fuzz::write_input(data, size, "vornax.inp");
  try {
    (void)vornax::load_refinement_problem(file);
  } catch (const vornax::FileError&) {
  }
  return 0;
}
