#include "ui/tform6.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

#include "commands/diagram_commands.hpp"
#include "commands/session_commands.hpp"
#include "draw/qt_canvas.hpp"
#include "ui/command_guard.hpp"
#include "ui/printing.hpp"
#include "ui/widget_helpers.hpp"

namespace vornax {

namespace {
QString q(const std::string& t) { return QString::fromStdString(t); }

void colour_label(QLabel* l, const QColor& text) {
  QPalette p = l->palette();
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Window, Qt::white);
  l->setPalette(p);
  l->setAutoFillBackground(true);
}

MouseButton mouse_button(Qt::MouseButton b) {
  if (b == Qt::RightButton) return MouseButton::Right;
  if (b == Qt::LeftButton) return MouseButton::Left;
  return MouseButton::Middle;
}
}  // namespace

// The image control: shows the window's image and, during a drag, the zoom rectangle
// over it. Mouse events go to the window's handlers in image pixels.
class DiagramImage : public QWidget {
 public:
  explicit DiagramImage(Tform6* owner) : QWidget(owner), owner_(owner) {
    setObjectName("image_diagram");
    setMouseTracking(true);
    setMinimumSize(kMinImageWidth * 4, 80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(0, 0, owner_->image_);
    const DiagramView& v = owner_->view_;
    const QPoint c = owner_->cursor_;
    if (v.dragging && owner_->cursor_inside_ && std::abs(c.x() - v.press.x) >= kZoomMinDrag) {
      p.setPen(QPen(QColor(128, 128, 128), 1));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRect(QPoint(v.press.x, v.press.y), c).normalized());
    }
  }
  void resizeEvent(QResizeEvent*) override { owner_->resize_image(size()); }
  void mousePressEvent(QMouseEvent* e) override {
    owner_->souris_onmouseDown(e->button(), e->position().toPoint());
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    owner_->affiche_theta(e->position().toPoint(), true);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    owner_->MouseUp_image1(e->button(), e->position().toPoint());
  }
  void leaveEvent(QEvent*) override { owner_->affiche_theta({-1, -1}, false); }

 private:
  Tform6* owner_;
};

Tform6::Tform6(WorkSession& s, Messages& m, ManualSelection& st, QWidget* parent)
    : QWidget(parent, Qt::Window), s_(s), m_(m), st_(st) {
  setObjectName("Tform6");
  setWindowTitle("Diagram");
  // Shown beside the main window without taking the keyboard from it.
  setAttribute(Qt::WA_ShowWithoutActivating);
  build();
  move(0, 456);
  resize(1020, 280);
  image_ = blank_diagram_image(area_->width(), area_->height());
}

QWidget* Tform6::image_widget() const { return area_; }

void Tform6::build() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(2, 2, 2, 2);
  outer->setSpacing(2);

  auto* top = new QHBoxLayout;
  measured_label_ = new QLabel(this);
  measured_label_->setObjectName("label_measured");
  colour_label(measured_label_, Qt::black);
  hint_label_ = new QLabel(q(kUnselectHint), this);
  hint_label_->setObjectName("label_unselect_hint");
  colour_label(hint_label_, Qt::black);
  {
    QPalette p = hint_label_->palette();
    p.setColor(QPalette::Window, Qt::yellow);
    hint_label_->setPalette(p);
  }
  hint_label_->hide();
  profile_label_ = new QLabel(this);
  profile_label_->setObjectName("label_profile");
  colour_label(profile_label_, Qt::red);
  top->addWidget(measured_label_);
  top->addWidget(hint_label_);
  top->addStretch(1);
  top->addWidget(profile_label_);
  outer->addLayout(top);

  area_ = new DiagramImage(this);
  outer->addWidget(area_, 1);

  calculated_label_ = new QLabel(this);
  calculated_label_->setObjectName("label_calculated");
  colour_label(calculated_label_, QColor(0, 255, 0));
  outer->addWidget(calculated_label_);

  // The button bar.
  auto* bar = new QHBoxLayout;
  bar->setSpacing(4);
  load_raw_ = make_button(this, "RAW", "button_load_raw", "Load an observed diagram (RAW file)");
  auto* del_raw = make_button(this, "Del. RAW", "button_delete_raw", "Delete the RAW diagram");
  auto* reset = make_button(this, "Z- ", "button_reset_diagram", "Reset the diagram");
  auto* reset_sel = make_button(this, "Reset Sel.", "button_reset_selected",
                                "Reset the selected reflections");
  auto* print = make_button(this, "Print", "button_print_screen", "Print screen");
  auto* copy = make_button(this, "Copy", "button_copy_diagram", "Copy the diagram to the clipboard");

  scale_ = new QSpinBox(this);
  scale_->setObjectName("spin_scale");
  scale_->setToolTip("Modify the diagram scale");
  scale_->setRange(10, 500);
  scale_->setSingleStep(5);
  scale_->setValue(view_.scale_control);

  // The right arrow lowers the value, moving the diagram to the right.
  shift_ = new QScrollBar(Qt::Horizontal, this);
  shift_->setObjectName("scroll_shift");
  shift_->setToolTip("Move the diagram");
  shift_->setRange(0, 360);
  shift_->setValue(view_.shift_control);
  shift_->setInvertedAppearance(true);
  shift_->setInvertedControls(true);
  shift_->setFixedWidth(120);

  readout_ = new QLineEdit(this);
  readout_->setObjectName("edit_readout");
  readout_->setReadOnly(true);
  // Wide enough for the longest read-out: an angle up to 999.99 and a d up to 9999.999.
  hold_text(readout_, kWidestReadout);

  auto* zero_label = new QLabel("Zero offset :", this);
  zero_ = new QLineEdit("  0", this);
  zero_->setObjectName("edit_zero_offset");
  zero_->setFixedWidth(QFontMetrics(zero_->font()).horizontalAdvance("-0.0000") + 12);
  auto* zero_ok = make_button(this, "OK", "button_zero_offset", "Zero offset");

  difference_ = new QCheckBox("obs-calc", this);
  difference_->setObjectName("check_difference");
  difference_->setToolTip("Show the difference 2Theta obs - 2Theta calc after a refinement");
  difference_->setChecked(view_.show_difference);

  two_theta_ = new QRadioButton(QString::fromUtf8("2θ"), this);
  two_theta_->setObjectName("radio_diagram_two_theta");
  theta_ = new QRadioButton(QString::fromUtf8("θ"), this);
  theta_->setObjectName("radio_diagram_theta");
  two_theta_->setChecked(true);

  auto* instructions =
      new QLabel("Click and drag a rectangle to \"Zoom\".  \"Z- \" button to \"Unzoom\"", this);
  instructions->setObjectName("label_instructions");

  // Two rows, so that the window's opening width holds every control at its full size
  // with a desktop font: the buttons and view controls, then the read-out, the zero
  // offset and the instructions.
  for (QWidget* w : std::initializer_list<QWidget*>{load_raw_, del_raw, reset, reset_sel, print,
                                                    copy, scale_, shift_, difference_, two_theta_,
                                                    theta_})
    bar->addWidget(w);
  bar->addStretch(1);
  outer->addLayout(bar);
  auto* second = new QHBoxLayout;
  second->setSpacing(4);
  for (QWidget* w : std::initializer_list<QWidget*>{readout_, zero_label, zero_, zero_ok})
    second->addWidget(w);
  second->addSpacing(12);
  second->addWidget(instructions, 1);
  outer->addLayout(second);

  profile_menu_ = new QMenu(this);
  profile_menu_->setObjectName("popup_diagram_profile");
  popup_ = new QMenu(this);
  popup_->setObjectName("popup_diagram");
  popup_->addAction("Copy", this, [this] { copy_image(); });
  popup_->addAction("Print screen", this, [this] { imprime_ecran(); });
  popup_->addAction("Reset the diagram", this, [this] { reset_dessin(); });

  connect(load_raw_, &QPushButton::clicked, this, [this] { charge_spectre(); });
  connect(del_raw, &QPushButton::clicked, this, [this] { efface_diagramme_raw(); });
  connect(reset, &QPushButton::clicked, this, [this] { reset_dessin(); });
  connect(reset_sel, &QPushButton::clicked, this, [this] { raze_selection(); });
  connect(print, &QPushButton::clicked, this, [this] { imprime_ecran(); });
  connect(copy, &QPushButton::clicked, this, [this] { copy_image(); });
  connect(zero_ok, &QPushButton::clicked, this, [this] { modifie_zero(); });
  connect(zero_, &QLineEdit::returnPressed, this, [this] { modifie_zero(); });
  connect(scale_, &QSpinBox::valueChanged, this, [this](int v) {
    if (!updating_) echelle_modi(v);
  });
  connect(shift_, &QScrollBar::valueChanged, this, [this](int v) {
    if (!updating_) shifte_diagramme(v);
  });
  connect(difference_, &QCheckBox::toggled, this, [this](bool on) {
    view_.show_difference = on;
    dessine_spectre();
  });
  connect(two_theta_, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !updating_) change_theta_2theta(AngleMode::TwoTheta);
  });
  connect(theta_, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !updating_) change_theta_2theta(AngleMode::Theta);
  });
}

void Tform6::set_profile_actions(const QList<QAction*>& actions) {
  profile_menu_->clear();
  for (QAction* a : actions)
    if (a) profile_menu_->addAction(a);
  // The button can be pressed once one of the formats can be loaded.
  enable_with_menu(load_raw_, profile_menu_);
}

void Tform6::resize_image(QSize size) {
  image_ = blank_diagram_image(size.width(), size.height());
  dessine_spectre();
}

void Tform6::dessine_spectre() {
  // A Mode 2 choice waiting for its reflection is drawn as a red line.
  view_.pending_obs.reset();
  if (st_.mode == MouseMode::Mode2 && st_.pending_obs) view_.pending_obs = *st_.pending_obs;
  DiagramCaptions cap;
  {
    QtCanvas canvas(image_);
    cap = draw_diagram(canvas, s_, view_);
  }
  measured_label_->setText(q(cap.measured));
  calculated_label_->setText(q(cap.calculated));
  profile_label_->setText(q(cap.profile));
  hint_label_->setVisible(cap.unselect_hint);

  updating_ = true;
  scale_->setValue(view_.scale_control);
  shift_->setValue(view_.shift_control);
  two_theta_->setChecked(s_.angle_mode == AngleMode::TwoTheta);
  theta_->setChecked(s_.angle_mode == AngleMode::Theta);
  updating_ = false;
  area_->update();
}

void Tform6::after(Changed what) {
  if (hooks_.refresh)
    hooks_.refresh(what);  // redraws this window too
  else
    dessine_spectre();
}

void Tform6::run(const std::function<Changed()>& command) {
  Changed what = Changed::None;
  if (!run_guarded(s_, m_, [&] { what = command(); })) return;
  after(what);
}

void Tform6::souris_onmouseDown(Qt::MouseButton, QPoint at) {
  button_held_ = true;
  diagram_mouse_down(view_, {at.x(), at.y()});
  cursor_ = at;
}

void Tform6::affiche_theta(QPoint at, bool inside) {
  cursor_ = at;
  cursor_inside_ = inside;
  if (inside && view_.mapping)
    readout_->setText(q(cursor_readout(*view_.mapping, s_.angle_mode, s_.wavelengths.lambda, at.x())));
  else
    readout_->clear();
  if (view_.dragging) area_->update();
}

void Tform6::MouseUp_image1(Qt::MouseButton button, QPoint at) {
  button_held_ = false;
  DiagramRelease r;
  r.button = mouse_button(button);
  r.at = {at.x(), at.y()};
  r.selection_tab_shown = hooks_.selection_tab_shown && hooks_.selection_tab_shown();
  r.tolerance_text = hooks_.tolerance_text ? hooks_.tolerance_text() : std::string();
  run([&] { return diagram_mouse_up(s_, m_, view_, st_, r); });
}

void Tform6::charge_spectre() {
  profile_menu_->popup(frameGeometry().topLeft() + QPoint(150, 200));
}

void Tform6::efface_diagramme_raw() {
  run([this] {
    if (s_.profile.file_name.empty()) return Changed::None;
    s_.profile.file_name.clear();  // the points stay for the other windows
    return Changed::Profile;
  });
}

void Tform6::echelle_modi(int value) { run([&] { return diagram_scale(view_, value); }); }

void Tform6::shifte_diagramme(int value) {
  run([&] { return diagram_shift(s_, view_, value); });
}

void Tform6::reset_dessin() { run([this] { return diagram_reset(s_, view_); }); }

void Tform6::raze_selection() { run([this] { return reset_selected_reflections(s_, m_); }); }

void Tform6::imprime_ecran() {
  print_image(image_, this, QString::fromStdString(s_.working_folder.string()), windowTitle());
}

void Tform6::copy_image() {
  if (QClipboard* c = QApplication::clipboard()) c->setImage(image_);
}

void Tform6::modifie_zero() {
  const std::string text = zero_->text().toStdString();
  run([&] { return modify_zero_offset(s_, m_, text); });
}

void Tform6::change_theta_2theta(AngleMode mode) {
  const Changed c = set_angle_mode(s_, mode);
  if (c != Changed::None) after(c);
}

void Tform6::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (readout_ && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
    hold_text(readout_, kWidestReadout);
  // A drag left over from a release this window never saw is forgotten; but the press
  // that brings the window to the front arrives before the activation and starts a
  // drag of its own, which must be kept.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !button_held_)
    view_.dragging = false;
}

void Tform6::contextMenuEvent(QContextMenuEvent* event) {
  // The image's right button unpairs; the popup belongs to the rest of the window.
  if (area_->geometry().contains(event->pos())) return;
  popup_->popup(event->globalPos());
}

}  // namespace vornax
