// Small builders shared by the windows.
#pragma once

class QPushButton;
class QWidget;

namespace vornax {

// A push button with its caption, object name (for tests) and hint.
QPushButton* make_button(QWidget* parent, const char* caption, const char* name,
                         const char* hint, bool enabled = true);

}  // namespace vornax
