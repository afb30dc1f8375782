#include "core/text_grid.hpp"

#include <algorithm>

namespace vornax {

GridText empty_grid_text(std::vector<int> widths, std::vector<int> chars, int row_count) {
  GridText g;
  g.widths = std::move(widths);
  g.chars = std::move(chars);
  g.chars.resize(g.widths.size());
  g.rows.assign(static_cast<size_t>(std::max(row_count, 1)),
                std::vector<std::string>(g.widths.size()));
  return g;
}

}  // namespace vornax
