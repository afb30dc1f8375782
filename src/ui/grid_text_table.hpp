// Copies the texts of a domain grid into a QTableWidget: the header row becomes the
// horizontal header, the other rows the table's rows.
#pragma once

#include <QFont>
#include <QString>

#include <QColor>

#include "core/text_grid.hpp"

class QTableWidget;

namespace vornax {

inline QString qstr(const std::string& t) { return QString::fromStdString(t); }

// The grids' font: fixed pitch, so that the blank-padded numbers of a column line up,
// and a point smaller than the window's font, so that the tabs fit the main window.
QFont grid_font();

// The background of a highlighted row.
inline const QColor kHighlightColour(255, 203, 238);

// The one filler of every grid. Sets columns, rows, header labels (or, with
// header_in_cells, the header as the first row) and every cell text and row style;
// plain cells are centred. Existing
// items are reused so that their flags (editable or not) stay. Each column is as wide
// as the grid asks, and never narrower than its texts (those of its format, its header
// and those shown), so nothing is cut.
void fill_table(QTableWidget* table, const GridText& grid);

// From now on the table is never narrower than its columns and its vertical scroll bar,
// so a layout cannot hide a column behind a horizontal scroll bar (setup_table does it);
// `exactly`: nor wider, so a list does not take room it leaves blank.
void keep_columns_in_view(QTableWidget* table, bool exactly = false);

// Blanks every cell without changing the row count.
void blank_table(QTableWidget* table);

// The same grid layout for a table built before any data arrives: grid font, no row
// numbers, Tab moves between cells, one cell selected at a time, columns kept in view.
void setup_table(QTableWidget* table, bool editable);

// Width of the table when it shows all its columns and its vertical scroll bar.
int width_for_columns(const QTableWidget* table);

}  // namespace vornax
