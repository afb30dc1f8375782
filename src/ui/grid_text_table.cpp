#include "ui/grid_text_table.hpp"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QSignalBlocker>
#include <QTableWidget>

namespace vornax {

namespace {

// The property that marks a table kept in view (its value: exactly or at least).
constexpr const char* kWidthToColumns = "vornax_width_to_columns";

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

bool has_even_advances(const QFont& font) {
  const QFontMetricsF metrics(font);
  const double width = metrics.horizontalAdvance(QLatin1Char('M'));
  if (!(width > 0)) return false;
  for (QChar ch : QStringLiteral("0123456789 .-i"))
    if (std::fabs(metrics.horizontalAdvance(ch) - width) > 1e-6) return false;
  return true;
}

QFont choose_fixed_pitch_font(const QStringList& families, double point_size,
                              const std::function<bool(const QFont&)>& even) {
  for (const QString& family : families) {
    QFont f(family);
    f.setStyleHint(QFont::TypeWriter);
    if (point_size > 0) f.setPointSizeF(point_size);
    if (even(f)) return f;
  }
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setStyleHint(QFont::TypeWriter);
  if (point_size > 0) f.setPointSizeF(point_size);
  return f;
}

QStringList grid_font_families() {
  QStringList families = {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                          QStringLiteral("Noto Sans Mono"),   QStringLiteral("Consolas"),
                          QStringLiteral("Courier New"),      QStringLiteral("Menlo")};
  // The system's own choice last: on some machines it resolves to a family whose
  // letters are not all equally wide.
  families << QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
  return families;
}

QFont grid_font() {
  const double base = QApplication::font().pointSizeF();
  return choose_fixed_pitch_font(grid_font_families(), base > 0 ? std::max(7.0, base - 1) : 0);
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
  constexpr const char* kMode = kWidthToColumns;
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
  const int first = grid.header_in_cells ? 0 : 1;  // first grid row shown as a table row
  // No layout, no repaint and no column measuring while the cells change: a header
  // that resizes to its contents measures again at every item, which made refilling a
  // grid of thousands of rows take minutes. The columns are sized once, at the end.
  table->setUpdatesEnabled(false);
  QHeaderView* header = table->horizontalHeader();
  const QSignalBlocker block_header(header);
  table->setColumnCount(cols);
  for (int c = 0; c < cols; ++c) header->setSectionResizeMode(c, QHeaderView::Interactive);
  table->setRowCount(std::max(grid.row_count() - first, 0));
  QStringList headers;
  for (int c = 0; c < cols; ++c) headers << qstr(grid.cell(0, c)).trimmed();
  if (!grid.header_in_cells) table->setHorizontalHeaderLabels(headers);

  const QFontMetricsF cell_metrics(table->font());
  const QFontMetricsF header_metrics(header->font());
  const int pad = cell_padding(table);
  std::vector<int> widths(static_cast<size_t>(cols));
  for (int c = 0; c < cols; ++c) {
    const size_t i = static_cast<size_t>(c);
    const int chars = i < grid.chars.size() ? grid.chars[i] : 0;
    widths[i] = std::max(grid.widths[i], text_width(cell_metrics, QString(chars, QLatin1Char('0'))) + pad);
    if (!grid.header_in_cells)
      widths[i] = std::max(widths[i], text_width(header_metrics, headers[c]) +
                                          header_padding(header));
  }
  for (int r = first; r < grid.row_count(); ++r) {
    const RowStyle style = grid.style(r);
    for (int c = 0; c < cols; ++c) {
      const QString text = qstr(grid.cell(r, c));
      QTableWidgetItem* it = item_at(table, r - first, c);
      it->setText(text);
      switch (style) {
        case RowStyle::Plain:
          it->setBackground(QBrush());
          it->setForeground(QBrush());
          it->setTextAlignment(Qt::AlignCenter);
          break;
        case RowStyle::Forbidden:
          it->setBackground(Qt::cyan);
          it->setForeground(Qt::black);
          it->setTextAlignment(Qt::AlignCenter);
          break;
        case RowStyle::Suspect:
          it->setBackground(QColor(255, 200, 120));
          it->setForeground(Qt::black);
          it->setTextAlignment(Qt::AlignCenter);
          break;
        case RowStyle::Highlighted:
          it->setBackground(kHighlightColour);
          it->setForeground(Qt::black);
          it->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
          break;
      }
      // A number longer than its format (the formats widen rather than cut) widens
      // its column.
      if (!text.isEmpty()) {
        int& w = widths[static_cast<size_t>(c)];
        w = std::max(w, text_width(cell_metrics, text) + pad);
      }
    }
  }
  for (int c = 0; c < cols; ++c) table->setColumnWidth(c, widths[static_cast<size_t>(c)]);
  table->setUpdatesEnabled(true);
  // The header's own signals were blocked: a table kept in view fits its new columns now.
  const QVariant mode = table->property(kWidthToColumns);
  if (mode.isValid()) keep_columns_in_view(table, mode.toBool());
}

void blank_table(QTableWidget* table) {
  for (int r = 0; r < table->rowCount(); ++r)
    for (int c = 0; c < table->columnCount(); ++c)
      if (QTableWidgetItem* it = table->item(r, c)) it->setText(QString());
}

}  // namespace vornax
