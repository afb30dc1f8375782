// vornax.out, the refinement report, read back for its results and for the export.
#include <cstdint>
#include <string_view>

#include "core/text_file.hpp"
#include "refine/report.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int pairs = data[0] % 64;
  const auto lines = vornax::split_text_lines(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  try {
    (void)vornax::read_report_results(lines, pairs);
    (void)vornax::excel_text(lines, pairs, vornax::ShiftMode::ConstantZeroShift);
  } catch (const vornax::FileError&) {
  }
  return 0;
}
