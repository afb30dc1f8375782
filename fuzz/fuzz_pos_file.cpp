// The operator files (c.pos, h.pos ...): the H-M list read from them, then the
// operators of one of its symbols, doubled and centred as a calculation does.
#include <cstdint>

#include "core/catalogue.hpp"
#include "core/format.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"
#include "fuzz_support.hpp"

namespace {
struct Quiet : vornax::Messages {
  void error(std::string_view) override {}
  void warning(std::string_view) override {}
  void info(std::string_view) override {}
  vornax::Answer ask(std::string_view) override { return vornax::Answer::Yes; }
  void beep() override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vornax;
  const char* systems[] = {"CUBI", "TETR", "ORTH", "HEXA", "RHOM", "MONO", "TRIC"};
  WorkSession s;
  s.system = systems[size % 7];
  const auto file = fuzz::write_input(data, size, operator_file_name(s.system));
  reset_session(s, file.parent_path());
  s.system = systems[size % 7];
  CellTab tab;
  Quiet m;
  try {
    fill_hm_list(s, tab);
    s.symbol = to_upper(tab.hm_list[size % tab.hm_list.size()]);
    load_operators_hm(s, m);
    if (s.operators.size() > static_cast<size_t>(kMaxOperators)) __builtin_trap();
  } catch (const FileError&) {
  }
  return 0;
}
