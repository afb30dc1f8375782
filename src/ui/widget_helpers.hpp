// Small builders shared by the windows.
#pragma once

class QMenu;
class QPushButton;
class QWidget;

namespace vornax {

// A push button with its caption, object name (for tests) and hint; it keeps the
// style's width while there is room and shrinks to its caption when a row is crowded.
QPushButton* make_button(QWidget* parent, const char* caption, const char* name,
                         const char* hint);

// Keeps `button` enabled exactly while `menu` holds an enabled entry, so that a button
// that opens a popup can be pressed once a command of the popup works.
void enable_with_menu(QPushButton* button, QMenu* menu);

}  // namespace vornax
