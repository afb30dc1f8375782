// The diagram window: the measured profile, the measured peaks, the calculated
// reflections and the selected pairs along one angle axis, with zoom, scale and shift,
// the cursor read-out, the zero offset and pairing by mouse. The drawing is an image
// kept in memory; the clipboard is only touched by the explicit "Copy" command.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>
#include <string>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "commands/diagram_commands.hpp"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSpinBox;

namespace vornax {

class DiagramImage;

// The widest text the cursor read-out box is sized for.
inline constexpr const char* kWidestReadout = "2T=  000.00  d=0000.000";

class Tform6 : public QWidget {
  Q_OBJECT
 public:
  // What the window needs from the main window. Without them the window redraws only
  // itself, clicks never pair (no selection tab) and the tolerance is empty.
  struct Hooks {
    std::function<void(Changed)> refresh;            // the main window's one refresh
    std::function<bool()> selection_tab_shown;
    std::function<std::string()> tolerance_text;     // the selection tab's tolerance box
  };

  Tform6(WorkSession& s, Messages& m, ManualSelection& st, QWidget* parent = nullptr);

  void set_hooks(Hooks hooks) { hooks_ = std::move(hooks); }
  // The four profile formats of "Load an observed diagram (RAW file)".
  void set_profile_actions(const QList<QAction*>& actions);

  // The redraw every command ends with.
  void dessine_spectre();

  const QImage& image() const { return image_; }
  DiagramView& view() { return view_; }
  QWidget* image_widget() const;
  QSpinBox* scale_control() const { return scale_; }
  QScrollBar* shift_control() const { return shift_; }
  QLineEdit* readout() const { return readout_; }
  QLineEdit* zero_offset_box() const { return zero_; }
  QCheckBox* difference_box() const { return difference_; }
  QMenu* profile_menu() const { return profile_menu_; }
  QMenu* popup_menu() const { return popup_; }

  // Mouse on the image (pixels of the image); the image widget forwards its events.
  void souris_onmouseDown(Qt::MouseButton button, QPoint at);
  void affiche_theta(QPoint at, bool inside);
  void MouseUp_image1(Qt::MouseButton button, QPoint at);

  // Buttons.
  void charge_spectre();          // the profile formats' menu
  void efface_diagramme_raw();    // "Delete the RAW diagram"
  void echelle_modi(int value);   // scale control now shows `value`
  void shifte_diagramme(int value);
  void reset_dessin();            // "Reset the diagram" (Z-)
  void raze_selection();          // "Reset the selected reflections"
  void imprime_ecran();           // "Print screen", landscape
  void copy_image();              // "Copy": the image to the clipboard
  void modifie_zero();            // "Zero offset :" with OK
  void change_theta_2theta(AngleMode mode);

 protected:
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  friend class DiagramImage;
  void build();
  // Runs a command inside the guard, then the main window's refresh (which redraws).
  void run(const std::function<Changed()>& command);
  void after(Changed what);
  void resize_image(QSize size);

  WorkSession& s_;
  Messages& m_;
  ManualSelection& st_;
  Hooks hooks_;
  DiagramView view_;
  QImage image_;
  QPoint cursor_{-1, -1};
  bool cursor_inside_ = false;
  bool button_held_ = false;  // between a press on the image and its release

  DiagramImage* area_ = nullptr;
  QLabel* measured_label_ = nullptr;
  QLabel* calculated_label_ = nullptr;
  QLabel* profile_label_ = nullptr;
  QLabel* hint_label_ = nullptr;
  QSpinBox* scale_ = nullptr;
  QScrollBar* shift_ = nullptr;
  QLineEdit* readout_ = nullptr;
  QLineEdit* zero_ = nullptr;
  QCheckBox* difference_ = nullptr;
  QRadioButton* two_theta_ = nullptr;
  QRadioButton* theta_ = nullptr;
  QMenu* profile_menu_ = nullptr;
  QMenu* popup_ = nullptr;
  QPushButton* load_raw_ = nullptr;
  bool updating_ = false;
};

}  // namespace vornax
