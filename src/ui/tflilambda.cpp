#include "ui/tflilambda.hpp"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace vornax {

namespace {
QString q(const std::string& t) { return QString::fromStdString(t); }
}  // namespace

Tflilambda::Tflilambda(WorkSession& s, Messages& m, QWidget* parent)
    : QDialog(parent), s_(s), m_(m) {
  setObjectName("Tflilambda");
  setWindowTitle(QStringLiteral("Lambda missing"));
  setModal(true);

  auto* missing = new QLabel(QStringLiteral("The wavelenth was not found  in the file! "), this);
  auto* source = new QLabel(QStringLiteral("What kind of Source? :"), this);
  list_ = new QListWidget(this);
  list_->setObjectName("list_source");
  for (std::string_view c : kSourceChoices) list_->addItem(q(std::string(c)));
  list_->setMaximumHeight(list_->sizeHintForRow(0) * (list_->count() + 1));

  lambda1_label_ = new QLabel(QStringLiteral("lambda1"), this);
  lambda2_label_ = new QLabel(QStringLiteral("lambda2"), this);
  lambda_label_ = new QLabel(QStringLiteral("lambda"), this);
  lambda1_ = new QLineEdit(this);
  lambda1_->setObjectName("edit_lambda1");
  lambda2_ = new QLineEdit(this);
  lambda2_->setObjectName("edit_lambda2");
  lambda_ = new QLineEdit(this);
  lambda_->setObjectName("edit_lambda");
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName("button_lambda_ok");
  ok_->setAutoDefault(false);

  auto* g = new QGridLayout(this);
  g->addWidget(missing, 0, 0, 1, 3);
  g->addWidget(source, 1, 0, 1, 3);
  g->addWidget(list_, 2, 0, 3, 1);
  g->addWidget(lambda1_label_, 2, 1);
  g->addWidget(lambda1_, 2, 2);
  g->addWidget(lambda2_label_, 3, 1);
  g->addWidget(lambda2_, 3, 2);
  g->addWidget(lambda_label_, 4, 1);
  g->addWidget(lambda_, 4, 2);
  g->addWidget(ok_, 5, 2);

  // A source is chosen by selecting it (click or arrow keys). Not on the current row:
  // the list makes its first row current when it takes the focus, which would choose
  // "Mo" for the user as soon as the window opens.
  connect(list_, &QListWidget::itemSelectionChanged, this, &Tflilambda::selection_made);
  connect(ok_, &QPushButton::clicked, this, &Tflilambda::lit_lambda);
  initialise();
}

void Tflilambda::initialise() {
  choice_ = SourceChoice{};
  result_.reset();
  {
    const QSignalBlocker block(list_);
    list_->setCurrentRow(-1);
    list_->clearSelection();
  }
  lambda_->clear();
  mirror();
}

void Tflilambda::mirror() {
  lambda1_->setText(q(choice_.lambda1_text));
  lambda2_->setText(q(choice_.lambda2_text));
  for (QWidget* w : std::initializer_list<QWidget*>{lambda1_label_, lambda1_, lambda2_label_, lambda2_})
    w->setVisible(choice_.lines_visible);
  lambda_label_->setVisible(choice_.lambda_visible);
  lambda_->setVisible(choice_.lambda_visible);
}

void Tflilambda::selection_made() {
  const QList<QListWidgetItem*> picked = list_->selectedItems();
  if (!picked.isEmpty()) clicklistbox(list_->row(picked.front()));
}

void Tflilambda::clicklistbox(int row) {
  if (row < 0) return;
  // What the user typed in the λ box stays for "Other"; a named anode fills it.
  choice_.lambda_text = lambda_->text().toStdString();
  choose_source(choice_, row);
  if (choice_.chosen == row && row < static_cast<int>(AnodeLineTable.size()))
    lambda_->setText(q(choice_.lambda_text));
  mirror();
  lambda_->setFocus();
}

void Tflilambda::lit_lambda() {
  choice_.lambda_text = lambda_->text().toStdString();
  choice_.lambda1_text = lambda1_->text().toStdString();
  choice_.lambda2_text = lambda2_->text().toStdString();
  const SourceResult r = accept_source(choice_);
  if (!r.set) {
    m_.error(r.error);  // the window stays open
    return;
  }
  WavelengthSet w = *r.set;
  if (check_) {
    if (const std::string refused = check_(w); !refused.empty()) {
      m_.error(refused);  // the window stays open for another choice
      return;
    }
  }
  result_ = w;
  accept();
}

std::optional<WavelengthSet> Tflilambda::choose(const WavelengthSet& proposed, bool profile_mode) {
  return choose_checked(proposed, profile_mode, {});
}

std::optional<WavelengthSet> Tflilambda::choose_checked(const WavelengthSet&, bool profile_mode,
                                                        const WavelengthCheck& check) {
  target_ = profile_mode ? 2 : 1;
  check_ = check;
  initialise();
  exec();
  check_ = nullptr;
  std::optional<WavelengthSet> out = result_;
  result_.reset();
  return out;
}

}  // namespace vornax
