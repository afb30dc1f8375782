// Line splitting and number reading shared by every text reader.
#include <cstdint>
#include <string_view>

#include "core/text_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const auto& line : vornax::split_text_lines(bytes)) vornax::split_numbers(line);
  return 0;
}
