#include "ui/help_window.hpp"

#include <QShortcut>

#include <QHBoxLayout>
#include <QListWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>

#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/profile_formats.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

std::string html_escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&') out += "&amp;";
    else out += c;
  }
  return out;
}

// The pages are read through here, so that the list of profile formats is the table's.
class HelpBrowser : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;
  QVariant loadResource(int type, const QUrl& name) override {
    QVariant page = QTextBrowser::loadResource(type, name);
    if (type != QTextDocument::HtmlResource) return page;
    const QByteArray marker(kProfileFormatsHelpMarker.data(),
                            static_cast<qsizetype>(kProfileFormatsHelpMarker.size()));
    QByteArray bytes = page.typeId() == QMetaType::QString ? page.toString().toUtf8() : page.toByteArray();
    if (!bytes.contains(marker)) return page;
    bytes.replace(marker, QByteArray::fromStdString(profile_formats_help_html()));
    return QString::fromUtf8(bytes);
  }
};

}  // namespace

std::string profile_format_name(const ProfileFormat& f) {
  std::string name;
  for (char c : f.menu_caption.substr(0, f.menu_caption.find(" (")))
    if (c != '&') name += c;
  return name;
}

std::string profile_formats_help_html() {
  std::string html =
      "<table border=\"1\" cellpadding=\"3\">\n"
      "<tr><th>No.</th><th>Format</th><th>Files</th><th>Contents</th></tr>\n";
  for (const ProfileFormat& f : kProfileFormats) {
    std::string files;
    for (const ProfileExtension& e : f.extensions) {
      if (e.name.empty()) continue;
      if (!files.empty()) files += ' ';
      files += "*" + std::string(e.name);
    }
    std::string contents = html_escaped(f.contents) + ".";
    if (f.several_ranges) contents += " Several ranges: one is read (--range-index).";
    if (!f.holds_wavelength) contents += " No wavelength in the file: it is asked for.";
    if (f.writable) contents += " Also written by the program.";
    html += "<tr><td>" + std::to_string(static_cast<int>(f.type)) + "</td><td>" +
            html_escaped(profile_format_name(f)) + "</td><td>" + files + "</td><td>" + contents +
            "</td></tr>\n";
  }
  return html + "</table>\n";
}

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
  browser_ = new HelpBrowser(this);
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
