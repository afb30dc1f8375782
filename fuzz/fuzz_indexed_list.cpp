// The indexed-list reader, at both capacities.
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "files/indexed_list_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    vornax::read_indexed_list(bytes, "fuzz.lst");
    vornax::read_indexed_list(bytes, "fuzz.lst", vornax::kMaxSelectedPairs);
  } catch (const vornax::Error&) {
  }
  return 0;
}
