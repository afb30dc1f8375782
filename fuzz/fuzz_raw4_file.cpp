// The raw4 profile reader on arbitrary bytes: a damaged file is a FormatError, never a crash.
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "files/raw4_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    // The second range too, so that the walk past the first is exercised.
    vornax::read_raw4_file(bytes, "fuzz", size % 2);
  } catch (const vornax::Error&) {
  }
  return 0;
}
