#include "ui/help_window.hpp"

#include <QShortcut>

#include <QHBoxLayout>
#include <QListWidget>
#include <QTextBrowser>
#include <QUrl>

#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"

namespace vornax {

std::vector<HelpTopic> read_help_index(const std::filesystem::path& index) {
  std::vector<HelpTopic> topics;
  for (const std::string& raw : read_text_lines(index)) {
    const std::string line = trim(raw);
    if (line.empty() || line.front() == '#') continue;
    const auto bar1 = line.find('|');
    const auto bar2 = bar1 == std::string::npos ? bar1 : line.find('|', bar1 + 1);
    if (bar2 == std::string::npos) continue;
    const auto number = parse_integer(line.substr(0, bar1));
    const std::string file = trim(line.substr(bar1 + 1, bar2 - bar1 - 1));
    if (!number || file.empty()) continue;
    topics.push_back({static_cast<int>(*number), file, trim(line.substr(bar2 + 1))});
  }
  return topics;
}

std::filesystem::path locate_help_file(const WorkSession& s) {
  std::error_code ec;
  const auto own = in_working_folder(s, s.help_file);
  if (!s.working_folder.empty() && std::filesystem::is_regular_file(own, ec)) return own;
  if (!s.data_folder.empty()) {
    const auto supplied = s.data_folder / "help" / s.help_file;
    if (std::filesystem::is_regular_file(supplied, ec)) return supplied;
  }
  return {};
}

HelpWindow::HelpWindow(Messages& m, QWidget* parent) : QWidget(parent, Qt::Window), m_(m) {
  setObjectName("help_window");
  setWindowTitle(tr("VORNAX Help"));
  resize(820, 560);
  list_ = new QListWidget(this);
  list_->setObjectName("list_help_topics");
  list_->setMaximumWidth(240);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName("browser_help");
  browser_->setOpenLinks(true);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(browser_, 1);
  connect(list_, &QListWidget::currentRowChanged, this, &HelpWindow::show_topic_at);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::hide);
  // A link followed in a page selects its topic in the list.
  connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
    const std::string file = url.fileName().toStdString();
    for (size_t i = 0; i < topics_.size(); ++i)
      if (topics_[i].file == file) {
        current_ = topics_[i].number;
        const QSignalBlocker block(list_);
        list_->setCurrentRow(static_cast<int>(i));
      }
  });
}

bool HelpWindow::open_help(const std::filesystem::path& help_file, int topic) {
  if (help_file.empty()) {
    m_.error("Help file not found: vornax2.hlp");
    return false;
  }
  try {
    topics_ = read_help_index(help_file);
  } catch (const FileError& e) {
    m_.error(e.what());
    return false;
  }
  if (topics_.empty()) {
    m_.error("The help file holds no topic");
    return false;
  }
  folder_ = help_file.parent_path();
  browser_->setSearchPaths({QString::fromStdString(folder_.string())});

  int row = 0;
  for (size_t i = 0; i < topics_.size(); ++i)
    if (topics_[i].number == topic) row = static_cast<int>(i);
  const QSignalBlocker block(list_);
  list_->clear();
  for (const auto& t : topics_)
    list_->addItem(QString("%1. %2").arg(t.number).arg(QString::fromStdString(t.title)));
  list_->setCurrentRow(row);
  show_topic_at(row);
  show();
  raise();
  activateWindow();
  return true;
}

void HelpWindow::show_topic_at(int row) {
  if (row < 0 || row >= static_cast<int>(topics_.size())) return;
  const HelpTopic& t = topics_[static_cast<size_t>(row)];
  current_ = t.number;
  browser_->setSource(QUrl::fromLocalFile(QString::fromStdString((folder_ / t.file).string())));
}

}  // namespace vornax
