// Bruker DIF1/DIF2 peak files.
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "files/peak_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    vornax::read_dif_file(bytes, "fuzz.dif");
  } catch (const vornax::Error&) {
  }
  return 0;
}
