// spgr2.dat, the space-group catalogue: the Getspec list of every system and the
// lookup of a symbol taken from the list (which writes scfs.dat, then read back).
#include <cstdint>

#include "core/catalogue.hpp"
#include "core/crystal_system.hpp"
#include "core/paths.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vornax;
  const auto file = fuzz::write_input(data, size, "spgr2.dat");
  WorkSession s;
  reset_session(s, file.parent_path());
  const char* systems[] = {"CUBI", "TETR", "ORTH", "HEXA", "RHOM", "MONO", "TRIC"};
  s.system = systems[size % 7];
  CellTab tab;
  try {
    fill_getspec_list(s, tab);
    if (tab.getspec_list.empty()) return 0;
    s.symbol = tab.getspec_list[size % tab.getspec_list.size()].substr(0, 12);
    std::array<int32_t, 16> codes;
    codes.fill(32);
    for (size_t i = 0; i < s.symbol.size() && i < codes.size(); ++i)
      codes[i] = static_cast<unsigned char>(s.symbol[i]);
    const auto out = fixed_file_path(s, FixedFile::Scfs);
    getspec(codes, file, out);
    (void)read_scfs(out);
  } catch (const FileError&) {
  } catch (const CatalogueMissing&) {
  }
  return 0;
}
