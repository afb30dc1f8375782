// The operator files (c.pos, h.pos ...): the operators of a symbol, doubled and centred
// as a calculation does. The symbol is the first line of the input, so the fuzzer can
// find blocks that match it.
#include <cstdint>
#include <string_view>

#include "core/session.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vornax;
  const char* systems[] = {"CUBI", "TETR", "ORTH", "HEXA", "RHOM", "MONO", "TRIC"};
  const auto lines = split_text_lines(std::string_view(reinterpret_cast<const char*>(data), size));
  if (lines.empty()) return 0;
  try {
    const auto ops = operators_from_lines(lines, lines[0], systems[size % 7], "c.pos");
    if (ops.size() > static_cast<size_t>(kMaxOperators)) __builtin_trap();
  } catch (const FileError&) {
  }
  return 0;
}
