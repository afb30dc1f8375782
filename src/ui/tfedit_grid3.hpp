// The selection editor: one pair (h k l, observed 2θ) is added or replaced at a time,
// with a backup of the whole selected list taken when the window opens, so that
// "Restore" and "Cancel" bring the list back as it was.
#pragma once

#include <QWidget>

#include <functional>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "commands/selection_commands.hpp"
#include "ui/file_dialogs.hpp"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vornax {

class Tfedit_grid3 : public QWidget {
  Q_OBJECT
 public:
  // `refresh` is the main window's one refresh; `dialogs` gives the file dialogs in use.
  using Refresh = std::function<void(Changed, QObject*)>;
  using Dialogs = std::function<FileDialogs&()>;

  Tfedit_grid3(WorkSession& s, Messages& m, QWidget* parent = nullptr);
  void set_refresh(Refresh r) { refresh_ = std::move(r); }
  void set_file_dialogs(Dialogs d) { dialogs_ = std::move(d); }

  // "Add/Modif" of the selection tab: opens the editor when calculated reflections
  // exist (backup taken, indexed list emptied); false otherwise. While it is open the
  // window is only brought to the front.
  bool edit_modif_raies();

  // The window's commands, as its buttons and boxes run them.
  void affiche_2theta();  // entering a 2θ box: the "Calc" box
  void ajoute();          // "Add/Modif"
  void restaure();        // "Restore"
  void efface();          // "Cancel": Restore, then close
  void sauve();           // "OK": the save question, then close

  bool is_editing() const { return ed_.open; }
  const SelectionEditor& editor() const { return ed_; }

  QLineEdit* h_box() const { return h_; }
  QLineEdit* k_box() const { return k_; }
  QLineEdit* l_box() const { return l_; }
  QLineEdit* obs_box() const { return obs_; }
  QLineEdit* calc_box() const { return calc_; }
  QPushButton* add_button() const { return add_; }
  QPushButton* restore_button() const { return restore_; }
  QPushButton* ok_button() const { return ok_; }
  QPushButton* cancel_button() const { return cancel_; }

 signals:
  // The editor opened (true) or closed (false): the commands that would make its backup
  // stale are disabled meanwhile.
  void editingChanged(bool open);

 protected:
  bool eventFilter(QObject* obj, QEvent* ev) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  EditorBoxes boxes() const;
  void clear_boxes();
  void changed(Changed what);
  void finish();  // the editor closes

  WorkSession& s_;
  Messages& m_;
  SelectionEditor ed_;
  Refresh refresh_;
  Dialogs dialogs_;
  QLineEdit* h_ = nullptr;
  QLineEdit* k_ = nullptr;
  QLineEdit* l_ = nullptr;
  QLineEdit* obs_ = nullptr;
  QLineEdit* calc_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* restore_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace vornax
