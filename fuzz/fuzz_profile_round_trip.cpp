// Any profile kind on arbitrary bytes (the first byte picks the kind), through the checks
// every reader's record passes; a profile that loads is written as RAW2 and as CPI (the
// writers meet every value the readers let through) and read back: what reads back has
// as many points, and nothing crashes on the way.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/errors.hpp"
#include "core/profile_formats.hpp"
#include "files/cpi_file.hpp"
#include "files/profile_files.hpp"
#include "files/raw_file.hpp"

namespace {

std::string joined(const vornax::TextFile& t) {
  std::string out;
  for (const auto& line : t.lines) out += line + "\r\n";
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto kind = vornax::profile_type_from_number(1 + data[0] % vornax::kProfileKindCount);
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  vornax::ProfileFileData read;
  try {
    read = vornax::read_profile(bytes, "fuzz", *kind);
  } catch (const vornax::Error&) {
    return 0;
  }
  const vornax::Profile& p = read.profile;
  const std::string raw2 = vornax::raw2_bytes(p, "fuzz", p.start_angle);
  const std::string cpi = joined(vornax::cpi_lines(p, "fuzz"));
  for (const auto& [written, back] : {std::pair{raw2, vornax::ProfileFileType::BrukerRaw},
                                      std::pair{cpi, vornax::ProfileFileType::Cpi}}) {
    try {
      const auto again = vornax::read_profile(written, "fuzz", back);
      if (again.profile.points.size() != p.points.size()) std::abort();
    } catch (const vornax::Error&) {
      // Single precision in the written header may round a tiny step to 0, which the
      // reader rightly refuses.
    }
  }
  return 0;
}
