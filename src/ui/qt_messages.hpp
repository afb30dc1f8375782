// Message boxes for the Messages interface.
#pragma once

#include <QWidget>

#include "core/messages.hpp"

namespace vornax {

class QtMessages : public Messages {
 public:
  explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }
  void error(std::string_view text) override;
  void warning(std::string_view text) override;
  void info(std::string_view text) override;
  Answer ask(std::string_view text) override;
  void beep() override;

 private:
  QWidget* parent_;
};

}  // namespace vornax
