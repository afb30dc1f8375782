// The raw file profile reader on arbitrary bytes: a damaged file is a FormatError, never a crash.
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "files/raw_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    vornax::read_raw_file(bytes, "fuzz.raw");
  } catch (const vornax::Error&) {
  }
  return 0;
}
