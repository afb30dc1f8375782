// The texts of a grid, as pure data: domain functions build them from the session and
// the windows copy them into their tables with one filler. Nothing here knows about
// widgets.
#pragma once

#include <string>
#include <vector>

namespace vornax {

// How a row is painted.
enum class RowStyle {
  Plain,
  Forbidden,    // a forbidden reflection among the calculated ones (cyan)
  Highlighted,  // the pair the user is looking at (pink, text to the left)
  Suspect,      // a pair that moves the refined values or does not fit (orange)
};

// rows[0] is the header row and rows.size() the grid's row count; every row has
// widths.size() cells. `widths` are the columns' least widths in pixels of the grid
// font (0: as wide as the texts); `chars` the length of the texts each column's format
// writes, so that a window can size a column for its data before any data is there.
struct GridText {
  std::vector<int> widths;
  std::vector<int> chars;
  std::vector<std::vector<std::string>> rows;
  std::vector<RowStyle> styles;   // per row; missing rows are Plain
  bool header_in_cells = false;   // the header is shown as the table's first row

  int row_count() const { return static_cast<int>(rows.size()); }
  int column_count() const { return static_cast<int>(widths.size()); }
  const std::string& cell(int row, int col) const {
    return rows[static_cast<size_t>(row)][static_cast<size_t>(col)];
  }
  RowStyle style(int row) const {
    return static_cast<size_t>(row) < styles.size() ? styles[static_cast<size_t>(row)]
                                                    : RowStyle::Plain;
  }
};

// A grid of `row_count` rows (header included, at least 1), every cell empty.
GridText empty_grid_text(std::vector<int> widths, std::vector<int> chars, int row_count);

}  // namespace vornax
