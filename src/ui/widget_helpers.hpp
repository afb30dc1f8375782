// Small builders shared by the windows.
#pragma once

#include <string>

#include "core/profile_formats.hpp"

class QLineEdit;
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

// Keeps `box` at least wide enough to show `sample` (the widest text it is meant to
// hold) whole, with the style's frame and margins, at its own font.
void hold_text(QLineEdit* box, const char* sample);

// The object name of a profile kind's menu entry, the same in every window that offers
// it: "action_open_profile_<key>" (verb "open") or "action_save_profile_<key>".
inline std::string profile_action_name(const char* verb, const ProfileFormat& f) {
  return std::string("action_") + verb + "_profile_" + std::string(f.key);
}
inline std::string profile_open_action_name(const ProfileFormat& f) {
  return profile_action_name("open", f);
}

}  // namespace vornax
