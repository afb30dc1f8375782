#include "ui/file_dialogs.hpp"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace vornax {

namespace {

QStringList qfilters(const std::vector<std::string>& filters) {
  QStringList out;
  for (const auto& f : filters) out << QString::fromStdString(f);
  return out;
}

std::optional<std::string> run(QWidget* parent, const std::string& title,
                               const std::vector<std::string>& filters, int& filter_index,
                               QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, QString::fromStdString(title), QDir::currentPath());
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  const QStringList names = qfilters(filters);
  dialog.setNameFilters(names);
  if (filter_index >= 0 && filter_index < names.size())
    dialog.selectNameFilter(names[filter_index]);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  filter_index = static_cast<int>(names.indexOf(dialog.selectedNameFilter()));
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace

std::optional<std::string> QtFileDialogs::open(const std::string& title,
                                               const std::vector<std::string>& filters,
                                               int& filter_index) {
  return run(parent_, title, filters, filter_index, QFileDialog::AcceptOpen);
}

std::optional<std::string> QtFileDialogs::save(const std::string& title,
                                               const std::vector<std::string>& filters,
                                               int& filter_index) {
  return run(parent_, title, filters, filter_index, QFileDialog::AcceptSave);
}

}  // namespace vornax
