#include "ui/tform7.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <string>
#include <vector>

#include "commands/diagram_commands.hpp"
#include "commands/load_profile.hpp"
#include "commands/save_peaks.hpp"
#include "commands/save_profile.hpp"
#include "core/format.hpp"
#include "commands/selection_commands.hpp"
#include "ui/command_guard.hpp"
#include "ui/file_dialogs.hpp"
#include "ui/grid_text_table.hpp"
#include "ui/qt_canvas.hpp"
#include "ui/widget_helpers.hpp"

namespace vornax {

namespace {

constexpr int kHelpTopic = 4;
constexpr int kDefaultImageWidth = 1010;
constexpr int kDefaultImageHeight = 300;
constexpr int kGridMinRows = 20;

const char* const kHelpLines[] = {
    "If there is no pattern, open a profile file. ",
    "To make a zoom, press the left button and drag the",
    "rectangle. To unzoom click on the Z- button. ",
    "",
    "To measure the positions of the peaks on the diagram:",
    "",
    "1/ \"By hand\": Click on the peak with the left button. ",
    "",
    "2/ \"Automatic peak Search\":  Click on the \"Peak Search\" ",
    "item of the menu and adjust the parameters.",
    "You can mix the both methods.",
    "",
    "3/ \"Fit\": the positions of the peaks found are fitted on",
    "the pattern (a K alpha1 + K alpha2 doublet per line); each",
    "line is then at K alpha1: refine with lambda1.",
    "",
    "To delete a measured reflection, bring the cursor on the ",
    "line and click with the right button; or bouble click on the ",
    "corresponding line of the list.",
    "",
    "",
};

const char* const kLegends[5] = {"K Alpha", "K Alpha1", "K Alpha2", "L1 (K beta)",
                                 "L2 (WL Alpha)"};

const std::vector<std::string> kSaveFilters = {"Bruker Format (*.dif)", "Culumn Format (*.prn)",
                                               "Brucker Format (*.raw)", "CPI Format (*.cpi)"};

QColor qcolor(Color c) { return QColor(c.r, c.g, c.b); }

QString q(const std::string& t) { return QString::fromStdString(t); }

double shown_angle(const WorkSession& s, double two_theta) {
  return s.angle_mode == AngleMode::Theta ? two_theta / 2 : two_theta;
}

// The peak grid: angle 7:3 in the display unit, d 8:3 for the current wavelength,
// intensity 8:3 and the number; count + 3 rows, at least 20.
GridText peak_grid_text(const WorkSession& s) {
  const int rows = std::max(kGridMinRows, static_cast<int>(s.measured.peaks.size()) + 3);
  GridText g = empty_grid_text({52, 52, 40, 20}, {7, 8, 8, 3}, rows);
  g.rows[0] = {s.angle_mode == AngleMode::Theta ? "Theta" : "2Theta", "Dhkl", "Int.", "N"};
  for (size_t i = 0; i < s.measured.peaks.size(); ++i) {
    const MeasuredPeak& p = s.measured.peaks[i];
    g.rows[i + 1] = {format_fixed(shown_angle(s, p.two_theta), 7, 3),
                     format_fixed(measured_d_spacing(p.two_theta, s.wavelengths.lambda), 8, 3),
                     format_fixed(p.intensity, 8, 3), std::to_string(i + 1)};
  }
  return g;
}

// The wavelength window stand-in when the main window gave none: closed without OK.
struct NoWavelength : WavelengthDialog {
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override { return std::nullopt; }
};
NoWavelength no_wavelength;

}  // namespace

TForm7::TForm7(WorkSession& s, Messages& m, QWidget* parent)
    : QWidget(parent, Qt::Window), s_(s), m_(m) {
  setObjectName("TForm7");
  setWindowTitle("Measure the reflection angles on the diagram");
  setGeometry(0, 60, 1020, 600);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(255, 255, 247));
  setPalette(pal);
  setAutoFillBackground(true);
  image_ = blank_diagram_image(kDefaultImageWidth, kDefaultImageHeight);
  build();
  fill_grid();
  fill_boxes();
}

QAction* TForm7::action(const QString& object_name) const {
  return findChild<QAction*>(object_name);
}

// ---- building ---------------------------------------------------------------------

void TForm7::build_menus(QVBoxLayout* layout) {
  auto* bar = new QMenuBar(this);
  layout->setMenuBar(bar);
  auto add = [this](QMenu* menu, const char* text, const char* name, auto slot) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  QMenu* file = bar->addMenu("&File");
  QMenu* open = file->addMenu("&Open");
  // Every profile kind, as the main window's menu offers them.
  for (const ProfileFormat& f : kProfileFormats) {
    const std::string caption(f.menu_caption);
    const std::string name = profile_open_action_name(f);
    const ProfileFileType type = f.type;
    add(open, caption.c_str(), name.c_str(), [this, type] { load_profile(type); });
  }
  QMenu* save = file->addMenu("&Save");
  QMenu* peaks = save->addMenu("&Measured peaks");
  connect(peaks, &QMenu::aboutToShow, this, [this] { search_panel_->hide(); });
  add(peaks, "&Brucker Format (*.dif)", "action_save_dif", &TForm7::sauve_brucker_dif);
  add(peaks, "&Column format (*.prn)", "action_save_prn", &TForm7::sauve_column_dif);
  QMenu* profile = save->addMenu("&Profile");
  add(profile, "&Brucker Format (*.raw)", "action_save_raw", &TForm7::sauve_bruker_raw);
  add(profile, "&CPI format (*.cpi)", "action_save_cpi", &TForm7::sauve_cpi_raw);
  file->addSeparator();
  QAction* undo = add(file, "&Undo", "action_undo_peaks", &TForm7::undo_peaks);
  undo->setShortcut(QKeySequence::Undo);
  add(file, "&Copy", "action_copy", &TForm7::copy_image);
  add(file, "&Close", "action_close", &TForm7::retour);
  search_action_ = add(bar->addMenu("&Peak Search"), "&Peak Search", "action_peak_search",
                       &TForm7::peak_search);
  search_action_->setCheckable(true);
  add(bar->addMenu("Peak &Kill"), "Peak &Kill", "action_peak_kill", &TForm7::kill_alpha2);
  QMenu* fit = bar->addMenu("Peak &Fit");
  add(fit, "&Fit", "action_peak_fit", &TForm7::fit_peaks);
  split_action_ = fit->addAction("&Split pseudo-Voigt (asymmetric peaks)");
  split_action_->setObjectName("action_split");
  split_action_->setCheckable(true);
  connect(split_action_, &QAction::toggled, this, [this](bool on) { st_.split_profile = on; });
  QMenu* options = bar->addMenu("&Options");
  derivative_action_ = add(options, "&Draw Sec. Deriv.", "action_derivative",
                           &TForm7::set_derivee_seconde);
  derivative_action_->setCheckable(true);
  stripped_action_ = add(options, "Draw the K alpha&2-stripped pattern", "action_stripped",
                         &TForm7::toggle_stripped);
  stripped_action_->setCheckable(true);
  add(bar->addMenu("&Help"), "Help", "action_help", &TForm7::aide_en_ligne)
      ->setShortcut(QKeySequence::HelpContents);
  add(bar->addMenu("&Quit"), "&Quit", "action_quit", &TForm7::retour);
}

QGroupBox* TForm7::build_search_panel() {
  auto* panel = new QGroupBox("Peak Search parameters", this);
  panel->setObjectName("panel_peak_search");
  auto* grid = new QVBoxLayout(panel);
  const char* labels[3] = {" Threshold :", "Min Width (°)", "Max Width (°)"};
  const SliderSpec* specs[3] = {&kThresholdSlider, &kMinWidthSlider, &kMaxWidthSlider};
  int* positions[3] = {&st_.sliders.threshold, &st_.sliders.min_width, &st_.sliders.max_width};
  for (size_t i = 0; i < 3; ++i) {
    const SliderSpec& spec = *specs[i];
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QString::fromUtf8(labels[i]), panel));
    auto* slider = new QSlider(Qt::Horizontal, panel);
    slider->setObjectName(QString("slider_%1").arg(i + 1));
    slider->setRange(spec.min_position, spec.max_position);
    slider->setTickInterval(spec.tick);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setValue(spec.default_position);
    auto* box = new QLineEdit(spec.initial_text, panel);
    box->setObjectName(QString("box_slider_%1").arg(i + 1));
    box->setReadOnly(true);
    box->setMaximumWidth(60);
    int* pos = positions[i];
    connect(slider, &QSlider::valueChanged, this, [pos, box, &spec](int v) {
      *pos = v;
      box->setText(q(slider_text(spec, v)));
    });
    row->addWidget(slider, 1);
    row->addWidget(box);
    grid->addLayout(row);
    sliders_[i] = slider;
    slider_boxes_[i] = box;
  }
  auto* contamination = new QGroupBox(" Source contamination", panel);
  auto* cl = new QVBoxLayout(contamination);
  const char* legends[2] = {"L1 (K beta)", "L2 (WL Alpha)"};
  for (size_t line = 0; line < 2; ++line) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(legends[line], contamination));
    for (size_t k = 0; k < 2; ++k) {
      auto* e = new QLineEdit(contamination);
      e->setObjectName(QString("box_contamination_%1").arg(line * 2 + k + 1));
      e->setToolTip(k == 0 ? QString::fromUtf8("λ") : "%");
      hold_text(e, k == 0 ? "1.392220" : "100.0");
      row->addWidget(e);
      contamination_[line * 2 + k] = e;
    }
    cl->addLayout(row);
  }
  grid->addWidget(contamination);
  search_stripped_ = new QCheckBox("Search with K alpha2 stripped", panel);
  search_stripped_->setObjectName("check_search_stripped");
  search_stripped_->setToolTip("The doublet fit (Fit) measures positions better");
  connect(search_stripped_, &QCheckBox::toggled, this, [this](bool on) { st_.search_stripped = on; });
  grid->addWidget(search_stripped_);
  auto* buttons = new QHBoxLayout;
  auto* search = make_button(panel, "Search", "button_search", "");
  auto* close = make_button(panel, "Close", "button_search_close", "");
  connect(search, &QPushButton::clicked, this, &TForm7::go_peaksearch);
  connect(close, &QPushButton::clicked, this, &TForm7::fin_de_search);
  buttons->addWidget(search);
  buttons->addWidget(close);
  grid->addLayout(buttons);
  panel->hide();
  return panel;
}

QGroupBox* TForm7::build_kill_panel() {
  auto* panel = new QGroupBox("Select the peaks to be kept", this);
  panel->setObjectName("panel_peak_kill");
  auto* layout = new QVBoxLayout(panel);
  for (size_t i = 0; i < 5; ++i) {
    auto* row = new QHBoxLayout;
    auto* box = new QCheckBox(panel);
    box->setObjectName(QString("check_keep_%1").arg(i + 1));
    connect(box, &QCheckBox::toggled, this, [this, i](bool on) { st_.kill.keep[i] = on; });
    auto* swatch = new QLabel(panel);
    swatch->setFixedSize(14, 14);
    swatch->setStyleSheet(
        QString("background-color: %1").arg(qcolor(line_code_color(static_cast<int>(i) + 1)).name()));
    row->addWidget(box);
    row->addWidget(swatch);
    row->addWidget(new QLabel(kLegends[i], panel), 1);
    layout->addLayout(row);
    keep_[i] = box;
  }
  auto* ok = make_button(panel, "OK", "button_kill_ok", "");
  connect(ok, &QPushButton::clicked, this, &TForm7::BitBtn7Click);
  layout->addWidget(ok);
  panel->hide();
  return panel;
}

void TForm7::build() {
  auto* layout = new QVBoxLayout(this);
  build_menus(layout);

  // Upper band: grid and range, the two panels, the legend, the help text.
  auto* band = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  auto* title = new QLabel("Observed reflections (2theta)", this);
  left->addWidget(title);
  grid_ = new QTableWidget(this);
  grid_->setObjectName("grid_peaks");
  setup_table(grid_, false);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(grid_, &QTableWidget::cellClicked, this, [this](int row, int) { selected_row_ = row + 1; });
  connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    selected_row_ = row + 1;
    run([this] { return profile_grid_double_click(s_, selected_row_); });
  });
  left->addWidget(grid_, 1);
  auto* range = new QGroupBox("Theta range", this);
  auto* rl = new QHBoxLayout(range);
  range_min_label_ = new QLabel(range);
  range_max_label_ = new QLabel(range);
  range_min_ = new QLineEdit(range);
  range_min_->setObjectName("box_range_min");
  range_max_ = new QLineEdit(range);
  range_max_->setObjectName("box_range_max");
  for (QLineEdit* e : {range_min_, range_max_}) hold_text(e, "  180.00");
  auto* redraw_button =
      make_button(range, "re-Draw the pattern with new values", "button_new_range", "");
  connect(redraw_button, &QPushButton::clicked, this, &TForm7::change_data_diag);
  rl->addWidget(range_min_label_);
  rl->addWidget(range_min_);
  rl->addWidget(range_max_label_);
  rl->addWidget(range_max_);
  rl->addWidget(redraw_button);
  left->addWidget(range);
  band->addLayout(left);

  search_panel_ = build_search_panel();
  kill_panel_ = build_kill_panel();
  band->addWidget(search_panel_);
  band->addWidget(kill_panel_);

  auto* middle = new QVBoxLayout;
  legend_ = new QGroupBox("Color Code", this);
  auto* ll = new QVBoxLayout(legend_);
  for (int i = 0; i < 5; ++i) {
    auto* l = new QLabel(kLegends[i], legend_);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, qcolor(line_code_color(i + 1)));
    l->setPalette(p);
    ll->addWidget(l);
  }
  middle->addWidget(legend_);
  count_ = new QLabel(this);
  count_->setObjectName("label_peak_count");
  middle->addWidget(count_);
  fit_label_ = new QLabel(this);
  fit_label_->setObjectName("label_fit_summary");
  middle->addWidget(fit_label_);
  auto* info = new QGroupBox("Profile", this);
  auto* il = new QVBoxLayout(info);
  profile_info_ = new QLabel(info);
  profile_info_->setObjectName("label_profile_info");
  il->addWidget(profile_info_);
  middle->addWidget(info);
  middle->addStretch(1);
  band->addLayout(middle);

  help_text_ = new QPlainTextEdit(this);
  help_text_->setObjectName("text_help");
  help_text_->setReadOnly(true);
  QStringList lines;
  for (const char* l : kHelpLines) lines << l;
  help_text_->setPlainText(lines.join('\n'));
  // Lines wrap between words only (the editor's default also splits words), and the
  // panel keeps a width that holds a few words a line.
  help_text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  help_text_->setWordWrapMode(QTextOption::WordWrap);
  help_text_->setMinimumWidth(help_text_->fontMetrics().horizontalAdvance(
                                  QStringLiteral("To make a zoom, press the left")) +
                              2 * help_text_->frameWidth() + 8);
  band->addWidget(help_text_, 1);
  layout->addLayout(band);

  // The drawing: the window's own image, shown in a label.
  image_label_ = new QLabel(this);
  image_label_->setObjectName("image_profile");
  image_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  image_label_->setMinimumSize(200, 150);
  image_label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  image_label_->setMouseTracking(true);
  image_label_->installEventFilter(this);
  layout->addWidget(image_label_, 1);

  // Button bar.
  auto* bar = new QHBoxLayout;
  auto* load = make_button(this, "Load an observed diagram ", "button_load_profile", "");
  auto* load_menu = new QMenu(load);
  for (const ProfileFormat& f : kProfileFormats)
    load_menu->addAction(action(QString::fromStdString(profile_open_action_name(f))));
  load->setMenu(load_menu);
  auto* search = make_button(this, "Peak Search", "button_peak_search", "Peak Search");
  connect(search, &QPushButton::clicked, this, &TForm7::peak_search);
  auto* kill = make_button(this, "Peak Kill", "button_peak_kill", "Select the peaks to be kept");
  connect(kill, &QPushButton::clicked, this, &TForm7::kill_alpha2);
  auto* fit = make_button(this, "Fit", "button_peak_fit", "Fit the peak positions on the profile");
  connect(fit, &QPushButton::clicked, this, &TForm7::fit_peaks);
  auto* del = make_button(this, "Delete", "button_delete_diagram", "Delete the observed diagram");
  connect(del, &QPushButton::clicked, this, &TForm7::efface_fichier);
  auto* erase = make_button(this, "Erase", "button_erase_peaks", "Erase the selected reflections");
  connect(erase, &QPushButton::clicked, this, &TForm7::efface_mesures);
  auto* reset = make_button(this, "Z-", "button_reset", "Reset the diagram");
  connect(reset, &QPushButton::clicked, this, &TForm7::reset_diagramme);
  move_ = new QSpinBox(this);
  move_->setObjectName("spin_move");
  move_->setToolTip("Move the diagram");
  move_->setRange(0, 360);
  move_->setValue(shift_.shift_control);
  connect(move_, &QSpinBox::valueChanged, this, &TForm7::shifte_spectre);
  scale_ = new QSpinBox(this);
  scale_->setObjectName("spin_scale");
  scale_->setToolTip("Modify the diagram scale");
  scale_->setRange(10, 500);
  scale_->setSingleStep(5);
  scale_->setValue(10);
  connect(scale_, &QSpinBox::valueChanged, this, &TForm7::modifie_echelle);
  auto* copy = make_button(this, "Copy", "button_copy", "Copy the drawing to the clipboard");
  connect(copy, &QPushButton::clicked, this, &TForm7::copy_image);
  auto* help = make_button(this, "Help", "button_help", "Help");
  connect(help, &QPushButton::clicked, this, &TForm7::aide_en_ligne);
  for (QWidget* w : std::initializer_list<QWidget*>{load, search, kill, fit, del, erase, reset, move_,
                                                     scale_, copy, help})
    bar->addWidget(w);
  cursor_ = new QLineEdit(this);
  cursor_->setObjectName("box_cursor");
  cursor_->setReadOnly(true);
  cursor_->setMaximumWidth(220);
  bar->addWidget(cursor_);
  caption_ = new QLabel(this);
  caption_->setObjectName("label_caption");
  caption_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bar->addWidget(caption_, 1);
  layout->addLayout(bar);
}

// ---- showing ------------------------------------------------------------------------

FileDialogs* TForm7::dialogs() { return dialogs_ ? &dialogs_() : nullptr; }

void TForm7::open_window() {
  blanked_ = false;
  view_.dragging = false;
  reset_scale();
  s_.measured.file_name.clear();
  show();
  raise();
  activateWindow();
  if (diagram_) diagram_->hide();
  redisplay();
  if (refresh_) refresh_(Changed::MeasuredPeaks);
}

void TForm7::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // A late activation event may arrive once the window is closed: it hides nothing then.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible() && diagram_)
    diagram_->hide();
}

// Closed by the menu or by the window's frame: the diagram window comes back, redrawn.
void TForm7::closeEvent(QCloseEvent* event) {
  search_panel_->hide();
  QWidget::closeEvent(event);
  if (!event->isAccepted() || !diagram_) return;
  diagram_->show();
  if (refresh_) refresh_(Changed::None);
}

void TForm7::redisplay() {
  if (!s_.profile.points.empty()) blanked_ = false;  // a profile read since, in any window
  fill_grid();
  fill_boxes();
  redraw();
}

void TForm7::fill_grid() {
  if (blanked_) {
    WorkSession none;
    none.angle_mode = s_.angle_mode;
    fill_table(grid_, peak_grid_text(none));
  } else {
    fill_table(grid_, peak_grid_text(s_));
  }
  for (int r = 0; r < grid_->rowCount(); ++r) {
    const QColor c = static_cast<size_t>(r) < s_.measured.peaks.size()
                         ? qcolor(line_code_color(s_.measured.peaks[static_cast<size_t>(r)].line_code))
                         : QColor(Qt::black);
    for (int col = 0; col < grid_->columnCount(); ++col)
      if (QTableWidgetItem* it = grid_->item(r, col)) {
        it->setForeground(c);
        it->setBackground(Qt::white);
      }
  }
  const bool any_peak = !blanked_ && !s_.measured.peaks.empty();
  count_->setText(any_peak ? q("Nb of selected peaks: " + std::to_string(s_.measured.peaks.size()))
                           : QString());
  legend_->setVisible(any_peak);
}

void TForm7::fill_boxes() {
  const bool theta = s_.angle_mode == AngleMode::Theta;
  range_min_label_->setText(QString::fromUtf8(theta ? "θ1 =" : "2θ1 ="));
  range_max_label_->setText(QString::fromUtf8(theta ? "θ2 =" : "2θ2 ="));
  range_min_->setText(q(format_fixed(shown_angle(s_, s_.range_min), 8, 2)));
  range_max_->setText(q(format_fixed(shown_angle(s_, s_.range_max), 8, 2)));
  const Profile& p = s_.profile;
  const WavelengthSet& w = p.wavelengths;
  std::string info;
  if (w.lambda > 0) {
    std::string name = p.file_name;
    if (const size_t slash = name.find_last_of("/\\"); slash != std::string::npos)
      name = name.substr(slash + 1);
    info = "Prof. File: " + name + "\n" + w.anode + "\nlambda1 " + format_fixed(w.lambda1, 8, 5) +
           "\nlambda2 " + format_fixed(w.lambda2, 8, 5) + "\nratio " + format_fixed(w.ratio, 4, 2) +
           "\nlambda " + format_fixed(w.lambda, 8, 5);
  }
  profile_info_->setText(q(info));
  std::string name = p.file_name;
  if (const size_t slash = name.find_last_of("/\\"); slash != std::string::npos)
    name = name.substr(slash + 1);
  caption_->setText(q(p.sample + ":  " + name));
  derivative_action_->setChecked(st_.draw_derivative);
  stripped_action_->setChecked(st_.draw_stripped);
  if (!fit_to_draw(s_, st_)) fit_label_->clear();
  search_action_->setChecked(search_panel_->isVisible());
}

void TForm7::redraw() {
  const QSize size = image_label_->size();
  const int w = size.width() >= 200 ? size.width() : kDefaultImageWidth;
  const int h = size.height() >= 150 ? size.height() : kDefaultImageHeight;
  if (image_.width() != w || image_.height() != h) image_ = blank_diagram_image(w, h);
  if (blanked_) {
    image_.fill(Qt::black);
    view_.mapping.reset();  // nothing to measure on
    show_image(image_);
    return;
  }
  image_.fill(Qt::white);
  {
    QtCanvas canvas(image_);
    ProfileOverlays o;
    if (const SecondDerivative* d = derivative_to_draw(s_, st_)) o.second_derivative = &d->values;
    if (const PeakFitResult* f = fit_to_draw(s_, st_)) o.fitted_curve = &f->curve;
    o.stripped = stripped_to_draw(s_, st_);
    draw_profile_window(canvas, s_, view_, o);
  }
  show_image(image_);
}

void TForm7::show_image(const QImage& img) { image_label_->setPixmap(QPixmap::fromImage(img)); }

void TForm7::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  redraw();
}

// ---- commands -----------------------------------------------------------------------

void TForm7::run(const std::function<Changed()>& command) {
  Changed c = Changed::None;
  const bool ok = run_guarded(s_, m_, [&] { c = command(); });
  after(ok ? c : Changed::Everything);
}

// The peaks go to the main window sorted; every window showing what changed shows it.
void TForm7::after(Changed what) {
  if (any(what, Changed::MeasuredPeaks)) {
    hand_over_peaks(s_);
    blanked_ = false;  // the peaks changed here are shown again
  }
  redisplay();
  if (what != Changed::None && refresh_) refresh_(what);
}

void TForm7::load_profile(ProfileFileType type) {
  search_panel_->hide();
  FileDialogs* d = dialogs();
  if (!d) return;
  std::vector<std::string> filters(kProfileFileFilters.begin(), kProfileFileFilters.end());
  int index = static_cast<int>(type) - 1;
  const auto chosen = d->open("Open a profile", filters, index);
  if (!chosen) return;
  // The filter left chosen in the dialog is the kind the user chose.
  if (const auto picked = profile_type_from_number(index + 1)) type = *picked;
  run([&] {
    st_.derivative_drawable = false;
    WavelengthDialog& wd = wavelength_ ? *wavelength_ : no_wavelength;
    return load_profile_file(s_, m_, wd, *chosen, type);
  });
}

void TForm7::save_peaks(bool dif) {
  search_panel_->hide();
  if (s_.measured.peaks.empty()) {
    m_.error(kNoPeakAnglesMessage);
    return;
  }
  FileDialogs* d = dialogs();
  if (!d) return;
  int index = dif ? 0 : 1;
  const auto chosen = d->save("Save the measured peaks", kSaveFilters, index);
  if (!chosen) return;
  run([&] {
    return dif ? save_bruker_dif(s_, m_, *chosen) : save_column_peaks_with_intensity(s_, m_, *chosen);
  });
}

void TForm7::save_profile_as(bool raw) {
  search_panel_->hide();
  if (s_.profile.points.empty()) {
    m_.error("No pattern!");
    return;
  }
  FileDialogs* d = dialogs();
  if (!d) return;
  int index = raw ? 2 : 3;
  const auto chosen = d->save("Save the profile", kSaveFilters, index);
  if (!chosen) return;
  run([&] {
    return save_profile(s_, m_, *chosen, raw ? ProfileSaveKind::Raw2 : ProfileSaveKind::Cpi);
  });
}

void TForm7::sauve_brucker_dif() { save_peaks(true); }
void TForm7::sauve_column_dif() { save_peaks(false); }
void TForm7::sauve_bruker_raw() { save_profile_as(true); }
void TForm7::sauve_cpi_raw() { save_profile_as(false); }

void TForm7::retour() {
  search_panel_->hide();
  close();
}

void TForm7::efface_fichier() {
  run([this] {
    const Changed c = delete_profile_diagram(s_, st_);
    blanked_ = true;
    return c;
  });
}

void TForm7::undo_peaks() {
  if (!undo_) return;
  search_panel_->hide();
  run([this] { return undo_->undo(s_); });
}

void TForm7::efface_mesures() {
  run([this] { return erase_measured_peaks(s_, st_); });
}

void TForm7::shifte_spectre(int value) {
  run([&] {
    return press_shift_control(s_, shift_, value) ? Changed::CurrentValues : Changed::None;
  });
}

void TForm7::modifie_echelle(int value) {
  press_scale_control(shift_, value);
  view_.vertical_factor = shift_.vertical_factor;
  redraw();
}

void TForm7::reset_scale() {
  shift_.vertical_factor = view_.vertical_factor = 1.0;
  shift_.scale_control = 10;
  const QSignalBlocker block(scale_);
  scale_->setValue(10);
}

void TForm7::reset_diagramme() {
  view_.dragging = false;
  reset_scale();
  run([this] { return reset_profile_range(s_); });
}

void TForm7::peak_search() {
  if (s_.profile.points.empty()) return;
  run([this] {
    const Changed c = prepare_peak_search(s_, m_, st_);
    // The sliders take the settings measured on this profile; the user may move them.
    // (Each slider writes its own box and position.)
    const int derived[3] = {st_.sliders.threshold, st_.sliders.min_width, st_.sliders.max_width};
    for (size_t i = 0; i < 3; ++i) sliders_[i]->setValue(derived[i]);
    contamination_[0]->setText(q(st_.contamination.l1_lambda));
    contamination_[1]->setText(q(st_.contamination.l1_percent));
    contamination_[2]->setText(q(st_.contamination.l2_lambda));
    contamination_[3]->setText(q(st_.contamination.l2_percent));
    kill_panel_->hide();
    search_panel_->show();
    return c;
  });
}

void TForm7::read_contamination() {
  st_.contamination.l1_lambda = contamination_[0]->text().toStdString();
  st_.contamination.l1_percent = contamination_[1]->text().toStdString();
  st_.contamination.l2_lambda = contamination_[2]->text().toStdString();
  st_.contamination.l2_percent = contamination_[3]->text().toStdString();
}

// The slider values are the search's settings every time (the window keeps no other
// threshold of its own).
void TForm7::go_peaksearch() {
  read_contamination();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  run([this] { return search_peaks(s_, m_, st_); });
  QApplication::restoreOverrideCursor();
}

void TForm7::fin_de_search() {
  search_panel_->hide();
  close_peak_search(st_);
  redisplay();
}

void TForm7::kill_alpha2() {
  if (!peak_kill_available(s_, st_)) return;
  search_panel_->hide();
  kill_panel_->show();
  fill_boxes();
}

void TForm7::BitBtn7Click() {
  if (s_.measured.peaks.empty()) return;
  kill_panel_->hide();
  run([this] { return apply_peak_kill(s_, st_); });
}

void TForm7::set_derivee_seconde() {
  st_.draw_derivative = !st_.draw_derivative;
  redisplay();
}

void TForm7::fit_peaks() {
  search_panel_->hide();
  kill_panel_->hide();
  PeakFitSummary f;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  run([&] {
    f = PeakFitSummary{};
    return fit_measured_peaks(s_, m_, st_, &f);
  });
  QApplication::restoreOverrideCursor();
  if (f.peaks > 0) fit_label_->setText(q(peak_fit_summary_text(f)));
}

void TForm7::toggle_stripped() {
  st_.draw_stripped = !st_.draw_stripped;
  redisplay();
}

void TForm7::change_data_diag() {
  search_panel_->hide();
  const std::string lo = range_min_->text().toStdString();
  const std::string hi = range_max_->text().toStdString();
  Changed c = Changed::None;
  const bool ok = run_guarded(s_, m_, [&] {
    const Profile current = s_.profile;
    c = new_angle_range(s_, m_, st_, lo, hi, [current](const std::string&) {
      return reread_profile_file(current);
    });
  });
  if (ok && c != Changed::None && !s_.allowed.empty() && recalculate_) recalculate_();
  after(ok ? c : Changed::Everything);
}

void TForm7::aide_en_ligne() {
  if (help_) help_(kHelpTopic);
}

void TForm7::copy_image() { QApplication::clipboard()->setImage(image_); }

// ---- mouse --------------------------------------------------------------------------

bool TForm7::eventFilter(QObject* watched, QEvent* event) {
  if (watched != image_label_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      const QPoint p = e->position().toPoint();
      profile_mouse_down(view_, {p.x(), p.y()});
      return true;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      const QPoint p = e->position().toPoint();
      if (!view_.mapping) return true;
      cursor_->setText(q(cursor_readout(*view_.mapping, s_.angle_mode,
                                        s_.profile.wavelengths.lambda, p.x())));
      // The cursor is drawn on a copy; the window's image stays as the redraw left it.
      QImage shown = image_;
      QPainter painter(&shown);
      if (view_.dragging && e->buttons() != Qt::NoButton && std::abs(p.x() - view_.press.x) > 4) {
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(QPoint(view_.press.x, view_.press.y), p).normalized());
      } else {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawLine(p.x(), 1, p.x(), shown.height() - 2);
      }
      painter.end();
      show_image(shown);
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      const QPoint p = e->position().toPoint();
      const MouseButton b = e->button() == Qt::RightButton  ? MouseButton::Right
                            : e->button() == Qt::LeftButton ? MouseButton::Left
                                                            : MouseButton::Middle;
      run([&] { return profile_mouse_up(s_, m_, view_, b, {p.x(), p.y()}); });
      return true;
    }
    default:
      return QWidget::eventFilter(watched, event);
  }
}

}  // namespace vornax
