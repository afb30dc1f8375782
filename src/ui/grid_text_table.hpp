// Copies the texts of a domain grid into a QTableWidget: the header row becomes the
// horizontal header, the other rows the table's rows.
#pragma once

#include <QFont>
#include <QStringList>

#include <functional>
#include <QString>

#include <QColor>

#include "core/text_grid.hpp"

class QTableWidget;

namespace vornax {

inline QString qstr(const std::string& t) { return QString::fromStdString(t); }

// The grids' font: fixed pitch, so that the blank-padded numbers of a column line up,
// and a point smaller than the window's font, so that the tabs fit the main window.
QFont grid_font();

// True when the font's digits, blank, point, minus sign, "i" and "M" all advance by the
// same width, which is what lines the columns up (a font's fixed-pitch flag is not
// always set, nor always right).
bool has_even_advances(const QFont& font);

// The first family of `families` whose font, at `point_size`, passes `even`; the
// system's fixed font when none does.
QFont choose_fixed_pitch_font(const QStringList& families, double point_size,
                              const std::function<bool(const QFont&)>& even = has_even_advances);

// The families tried for the grids, in order of preference.
QStringList grid_font_families();

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
