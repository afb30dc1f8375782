#include "ui/grid_text_table.hpp"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>

namespace vornax {

namespace {

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

// Room a cell needs around its text: the item's text margins and a pixel for the grid line.
int cell_padding(const QTableWidget* table) {
  return 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1) + 1;
}

// Text widths are fractional; a column one pixel short would cut the text to "...".
int text_width(const QFontMetricsF& metrics, const QString& text) {
  return static_cast<int>(std::ceil(metrics.horizontalAdvance(text)));
}

int header_padding(const QHeaderView* header) {
  return 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 4;
}

}  // namespace

QFont grid_font() {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setStyleHint(QFont::TypeWriter);
  const double base = QApplication::font().pointSizeF();
  if (base > 0) f.setPointSizeF(std::max(7.0, base - 1));
  return f;
}

void setup_table(QTableWidget* table, bool editable) {
  table->setFont(grid_font());
  table->verticalHeader()->setVisible(false);
  table->verticalHeader()->setDefaultSectionSize(
      std::max(20, QFontMetrics(table->font()).height() + 6));
  table->horizontalHeader()->setMinimumSectionSize(8);
  table->setTabKeyNavigation(true);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  if (!editable) table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  keep_columns_in_view(table);
}

void keep_columns_in_view(QTableWidget* table, bool exactly) {
  // Called again on a table it already watches, only the mode changes.
  static const char* const kMode = "vornax_width_to_columns";
  const bool watched = table->property(kMode).isValid();
  table->setProperty(kMode, exactly);
  auto fit = [table] {
    const int needed = width_for_columns(table);
    if (table->property(kMode).toBool() || table->maximumWidth() < needed)
      table->setMaximumWidth(needed);
    table->setMinimumWidth(needed);
  };
  if (!watched) {
    QHeaderView* header = table->horizontalHeader();
    QObject::connect(header, &QHeaderView::sectionResized, table, fit);
    QObject::connect(header, &QHeaderView::sectionCountChanged, table, fit);
  }
  fit();
}

int width_for_columns(const QTableWidget* table) {
  int width = 2 * table->frameWidth() +
              table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
  for (int c = 0; c < table->columnCount(); ++c) width += table->columnWidth(c);
  return width;
}

void fill_table(QTableWidget* table, const GridText& grid) {
  const int cols = grid.column_count();
  table->setColumnCount(cols);
  table->setRowCount(std::max(grid.row_count() - 1, 0));
  QStringList headers;
  for (int c = 0; c < cols; ++c) headers << qstr(grid.cell(0, c)).trimmed();
  table->setHorizontalHeaderLabels(headers);

  const QFontMetricsF cell_metrics(table->font());
  const QFontMetricsF header_metrics(table->horizontalHeader()->font());
  const int pad = cell_padding(table);
  std::vector<int> widths(static_cast<size_t>(cols));
  for (int c = 0; c < cols; ++c) {
    const size_t i = static_cast<size_t>(c);
    const int chars = i < grid.chars.size() ? grid.chars[i] : 0;
    widths[i] = std::max({grid.widths[i],
                          text_width(cell_metrics, QString(chars, QLatin1Char('0'))) + pad,
                          text_width(header_metrics, headers[c]) +
                              header_padding(table->horizontalHeader())});
  }
  for (int r = 1; r < grid.row_count(); ++r)
    for (int c = 0; c < cols; ++c) {
      const QString text = qstr(grid.cell(r, c));
      QTableWidgetItem* it = item_at(table, r - 1, c);
      it->setText(text);
      it->setTextAlignment(Qt::AlignCenter);
      // A number longer than its format (the formats widen rather than cut) widens
      // its column.
      if (!text.isEmpty()) {
        int& w = widths[static_cast<size_t>(c)];
        w = std::max(w, text_width(cell_metrics, text) + pad);
      }
    }
  for (int c = 0; c < cols; ++c) table->setColumnWidth(c, widths[static_cast<size_t>(c)]);
}

void blank_table(QTableWidget* table) {
  for (int r = 0; r < table->rowCount(); ++r)
    for (int c = 0; c < table->columnCount(); ++c)
      if (QTableWidgetItem* it = table->item(r, c)) it->setText(QString());
}

}  // namespace vornax
