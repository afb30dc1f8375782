// Philips DI peak files.
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "files/peak_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    vornax::read_philips_di(bytes, "fuzz.di");
  } catch (const vornax::Error&) {
  }
  return 0;
}
