// The cell search on any list of lines a peak file may give (NaN, infinities, 0°, 180°,
// repeats, a few lines or many) and any wavelength: no crash, no hang beyond its budget,
// and every cell offered is a real cell.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "indexing/indexer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  using vornax::indexing::IndexSettings;
  IndexSettings s;
  // The first byte: the wavelength, or one that is not a number.
  s.lambda = data[0] == 255 ? std::numeric_limits<double>::quiet_NaN() : 0.5 + data[0] / 100.0;
  s.impurities = data[1] % 4;
  s.zero_range = (data[1] >> 2) % 3 * 0.05;
  s.time_budget = 0.05;
  std::vector<double> lines;
  for (size_t i = 2; i + 1 < size && lines.size() < 40; i += 2) {
    const unsigned v = data[i] | (data[i + 1] << 8);
    switch (v) {
      case 0xffff: lines.push_back(std::numeric_limits<double>::quiet_NaN()); break;
      case 0xfffe: lines.push_back(std::numeric_limits<double>::infinity()); break;
      case 0xfffd: lines.push_back(-1); break;
      default: lines.push_back(v * (180.0 / 65000.0));
    }
  }
  const auto r = vornax::indexing::index_lines(lines, s);
  for (const auto& c : r.candidates)
    if (!(c.volume > 0) || !std::isfinite(c.cell.a) || !std::isfinite(c.cell.b) ||
        !std::isfinite(c.cell.c))
      std::abort();
  return 0;
}
