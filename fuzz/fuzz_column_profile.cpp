// The column profile profile reader on arbitrary bytes: a damaged file is a FormatError, never a crash.
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "files/column_profile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    vornax::read_column_profile(bytes, "fuzz.xy");
  } catch (const vornax::Error&) {
  }
  return 0;
}
