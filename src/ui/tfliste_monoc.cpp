#include "ui/tfliste_monoc.hpp"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "commands/indexed_list_commands.hpp"
#include "ui/command_guard.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/widget_helpers.hpp"

namespace vornax {

namespace {

constexpr std::array<const char*, 4> kTitles = {"H", "K", "L", "2Theta"};
constexpr std::array<int, 4> kWidths = {30, 30, 30, 60};

}  // namespace

Tfliste_monoc::Tfliste_monoc(WorkSession& s, Messages& m, QWidget* parent)
    : QWidget(parent, Qt::Window), s_(s), m_(m) {
  setObjectName("Tfliste_monoc");
  setWindowTitle("Enter the indexed list");

  grid_ = new QTableWidget(kEntryGridRows, 4, this);
  grid_->setObjectName("grid_indexed_entry");
  grid_->setFont(grid_font());
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->setTabKeyNavigation(true);

  auto* lambda_label = new QLabel("Wavelength (A) :", this);
  lambda_ = new QLineEdit(this);
  lambda_->setObjectName("edit_wavelength");
  ok_ = make_button(this, "OK", "button_ok", "Take the list as the measured reflections");
  cancel_ = make_button(this, "Cancel", "button_cancel", "Close without taking the list");

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lambda_label);
  bottom->addWidget(lambda_);
  bottom->addStretch(1);
  bottom->addWidget(ok_);
  bottom->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(grid_, 1);
  layout->addLayout(bottom);

  init_active();
  // Wide enough for the four columns, the row numbers and the scroll bar.
  resize(std::max(320, width_for_columns(grid_) + 40), 480);

  connect_command(ok_, &QPushButton::clicked, this, s_, m_, [this] { BitBtn1Click(); });
  connect(cancel_, &QPushButton::clicked, this, &Tfliste_monoc::abandon);
}

void Tfliste_monoc::init_active() {
  QStringList titles;
  for (size_t c = 0; c < kTitles.size(); ++c) {
    titles << QString::fromLatin1(kTitles[c]);
    grid_->setColumnWidth(static_cast<int>(c), kWidths[c]);
  }
  grid_->setHorizontalHeaderLabels(titles);
  grid_->clearContents();
}

void Tfliste_monoc::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) init_active();
}

std::vector<std::array<std::string, 4>> Tfliste_monoc::rows() const {
  std::vector<std::array<std::string, 4>> out(static_cast<size_t>(grid_->rowCount()));
  for (int r = 0; r < grid_->rowCount(); ++r)
    for (int c = 0; c < 4; ++c)
      if (const QTableWidgetItem* it = grid_->item(r, c))
        out[static_cast<size_t>(r)][static_cast<size_t>(c)] = it->text().toStdString();
  return out;
}

void Tfliste_monoc::changed(Changed what) {
  if (refresh_ && what != Changed::None) refresh_(what, this);
}

void Tfliste_monoc::BitBtn1Click() {
  const Changed taken = accept_entered_list(s_, rows(), lambda_->text().toStdString(), m_);
  if (taken == Changed::None) return;  // a message said what to mend: the window stays
  // The peaks are shown before the save dialog, and stay shown if it is cancelled.
  changed(taken);
  if (dialogs_) {
    int filter = 0;
    if (auto path = dialogs_().save("Save the indexed list", {"Save the indexed list (*.lst)"},
                                    filter))
      changed(save_entered_list(s_, *path, m_));
  }
  hide();
}

void Tfliste_monoc::abandon() { hide(); }

}  // namespace vornax
