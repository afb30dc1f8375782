#include "ui/tfedit_grid3.hpp"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/indexed_list_commands.hpp"
#include "ui/command_guard.hpp"
#include "ui/widget_helpers.hpp"

namespace vornax {

namespace {

constexpr const char* kListFilter = "Indexed list (*.lst)";

QString q(const std::string& t) { return QString::fromStdString(t); }
std::string str(const QLineEdit* e) { return e->text().toStdString(); }

}  // namespace

Tfedit_grid3::Tfedit_grid3(WorkSession& s, Messages& m, QWidget* parent)
    : QWidget(parent, Qt::Window), s_(s), m_(m) {
  setObjectName("Tfedit_grid3");
  setWindowTitle("Edit/ Modif  selected reflections");

  auto* title = new QLabel("Add/Modif a reflection", this);
  title->setObjectName("label_editor_title");

  auto make_box = [this](const char* name, int chars) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(chars, QChar('0'))) + 14);
    return e;
  };
  h_ = make_box("edit_h", 4);
  k_ = make_box("edit_k", 4);
  l_ = make_box("edit_l", 4);
  obs_ = make_box("edit_obs", 9);
  calc_ = make_box("edit_calc", 9);

  auto* boxes = new QGridLayout;
  const struct { const char* top; const char* bottom; QLineEdit* box; } columns[] = {
      {"H", "", h_}, {"K", "", k_}, {"L", "", l_}, {"2θ", "Obs", obs_}, {"2θ", "Calc", calc_}};
  int col = 0;
  for (const auto& c : columns) {
    boxes->addWidget(new QLabel(QString::fromUtf8(c.top), this), 0, col, Qt::AlignHCenter);
    boxes->addWidget(new QLabel(QString::fromUtf8(c.bottom), this), 1, col, Qt::AlignHCenter);
    boxes->addWidget(c.box, 2, col);
    ++col;
  }

  add_ = make_button(this, "Add/Modif", "button_add_modif_pair", "Add or modify this reflection");
  restore_ = make_button(this, "Restore", "button_restore_pairs",
                         "Restore the list as it was when this window opened");
  ok_ = make_button(this, "OK", "button_ok", "Keep the list and close");
  cancel_ = make_button(this, "Cancel", "button_cancel", "Restore the list and close");
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {add_, restore_, ok_, cancel_}) buttons->addWidget(b);

  auto* help = new QLabel(
      "To add or modify a reflection, enter its Miller indices and its 2Theta, then press "
      "Add/Modif.\nTo delete a reflection, double click on its line in the list of the "
      "selected reflections.",
      this);
  help->setObjectName("label_editor_help");
  help->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addLayout(boxes);
  layout->addLayout(buttons);
  layout->addWidget(help);

  obs_->installEventFilter(this);
  calc_->installEventFilter(this);
  connect_command(add_, &QPushButton::clicked, this, s_, m_, [this] { ajoute(); });
  connect_command(restore_, &QPushButton::clicked, this, s_, m_, [this] { restaure(); });
  connect_command(ok_, &QPushButton::clicked, this, s_, m_, [this] { sauve(); });
  connect_command(cancel_, &QPushButton::clicked, this, s_, m_, [this] { efface(); });
}

EditorBoxes Tfedit_grid3::boxes() const { return {str(h_), str(k_), str(l_), str(obs_)}; }

void Tfedit_grid3::clear_boxes() {
  for (QLineEdit* e : {h_, k_, l_, obs_, calc_}) e->clear();
}

void Tfedit_grid3::changed(Changed what) {
  if (refresh_ && what != Changed::None) refresh_(what, this);
}

bool Tfedit_grid3::edit_modif_raies() {
  // Open already: a second backup would hold the edits and Cancel could not undo them.
  if (ed_.open) {
    show();
    raise();
    activateWindow();
    return false;
  }
  if (vornax::edit_modif_raies(s_, ed_) == Changed::None) return false;
  clear_boxes();
  move(725, 110);
  show();
  raise();
  activateWindow();
  h_->setFocus();
  emit editingChanged(true);
  return true;
}

void Tfedit_grid3::affiche_2theta() {
  if (auto text = editor_calc_text(s_, boxes(), m_)) calc_->setText(q(*text));
}

void Tfedit_grid3::ajoute() {
  const Changed what = editor_add(s_, ed_, boxes(), m_);
  if (what == Changed::None) return;  // nothing was valid: the list and the boxes stay
  clear_boxes();
  h_->setFocus();
  changed(what);
}

void Tfedit_grid3::restaure() { changed(editor_restore_list(s_, ed_)); }

void Tfedit_grid3::efface() {
  changed(editor_cancel_list(s_, ed_));
  finish();
}

void Tfedit_grid3::sauve() {
  changed(Changed::Selection);
  if (editor_ok(s_, ed_, m_) && dialogs_) {
    int filter = 0;
    if (auto path = dialogs_().save("Save the indexed list", {kListFilter}, filter))
      changed(save_selection_list(s_, *path, m_));
  }
  finish();
}

void Tfedit_grid3::finish() {
  ed_.open = false;
  hide();
  emit editingChanged(false);
}

bool Tfedit_grid3::eventFilter(QObject* obj, QEvent* ev) {
  if ((obj == obs_ || obj == calc_) && ev->type() == QEvent::FocusIn) {
    // Only a move between the window's controls counts: the focus coming back from a
    // message box or another window must not ask again.
    switch (static_cast<QFocusEvent*>(ev)->reason()) {
      case Qt::ActiveWindowFocusReason:
      case Qt::PopupFocusReason:
      case Qt::MenuBarFocusReason:
        break;
      default:
        run_guarded(s_, m_, [this] { affiche_2theta(); });
    }
  }
  return QWidget::eventFilter(obj, ev);
}

// Closed by its title bar: the list stays as edited, without the save question.
void Tfedit_grid3::closeEvent(QCloseEvent* event) {
  if (ed_.open) {
    ed_.open = false;
    emit editingChanged(false);
  }
  event->accept();
}

}  // namespace vornax
