// The ICSD import.
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "files/icsd_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    vornax::read_icsd_file(bytes, "fuzz.ics");
  } catch (const vornax::Error&) {
  }
  return 0;
}
