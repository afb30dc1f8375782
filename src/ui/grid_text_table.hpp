// Copies the texts of a domain grid into a QTableWidget: the header row becomes the
// horizontal header, the other rows the table's rows.
#pragma once

#include <QString>

#include "selection/measured.hpp"

class QTableWidget;

namespace vornax {

inline QString qstr(const std::string& t) { return QString::fromStdString(t); }

// Sets columns, rows, header labels, column widths and every cell text; cells are
// centred. Existing items are reused so that their flags (editable or not) stay.
void fill_table(QTableWidget* table, const GridText& grid);

// Blanks every cell without changing the row count.
void blank_table(QTableWidget* table);

// The same grid layout for a table built before any data arrives.
void setup_table(QTableWidget* table, bool editable);

}  // namespace vornax
