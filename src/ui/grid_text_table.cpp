#include "ui/grid_text_table.hpp"

#include <algorithm>

#include <QHeaderView>
#include <QTableWidget>

namespace vornax {

namespace {
// The grids' column widths are given for a small grid font; scale them to the
// default font so that a formatted number fits its column.
constexpr double kWidthScale = 1.6;

QTableWidgetItem* item_at(QTableWidget* table, int row, int col) {
  QTableWidgetItem* it = table->item(row, col);
  if (!it) {
    it = new QTableWidgetItem;
    if (table->editTriggers() == QAbstractItemView::NoEditTriggers)
      it->setFlags(it->flags() & ~Qt::ItemIsEditable);
    table->setItem(row, col, it);
  }
  return it;
}
}  // namespace

void setup_table(QTableWidget* table, bool editable) {
  table->verticalHeader()->setVisible(false);
  table->verticalHeader()->setDefaultSectionSize(20);
  table->setTabKeyNavigation(true);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  if (!editable) table->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void fill_table(QTableWidget* table, const GridText& grid) {
  const int cols = grid.column_count();
  table->setColumnCount(cols);
  table->setRowCount(std::max(grid.row_count() - 1, 0));
  QStringList headers;
  for (int c = 0; c < cols; ++c) headers << qstr(grid.cell(0, c)).trimmed();
  table->setHorizontalHeaderLabels(headers);
  for (int c = 0; c < cols; ++c)
    table->setColumnWidth(c, static_cast<int>(grid.widths[static_cast<size_t>(c)] * kWidthScale));
  for (int r = 1; r < grid.row_count(); ++r)
    for (int c = 0; c < cols; ++c) {
      QTableWidgetItem* it = item_at(table, r - 1, c);
      it->setText(qstr(grid.cell(r, c)));
      it->setTextAlignment(Qt::AlignCenter);
    }
}

void blank_table(QTableWidget* table) {
  for (int r = 0; r < table->rowCount(); ++r)
    for (int c = 0; c < table->columnCount(); ++c)
      if (QTableWidgetItem* it = table->item(r, c)) it->setText(QString());
}

}  // namespace vornax
