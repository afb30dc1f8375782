// The text peak readers: XFIT, WINFIT, one column and indexed lists, on the same input.
#include <cstdint>
#include <string_view>

#include "core/errors.hpp"
#include "files/peak_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using vornax::PeakFileType;
  for (auto type : {PeakFileType::Xfit, PeakFileType::Winfit, PeakFileType::ColumnAny,
                    PeakFileType::IndexedList}) {
    try {
      vornax::read_peak_file(type, bytes, "fuzz.txt");
    } catch (const vornax::Error&) {
    }
  }
  return 0;
}
