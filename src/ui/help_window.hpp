// The program's help: topics listed in a help file ("vornax2.hlp") and shown in a
// browser window, opened at a topic number (1 the main window, 4 the profile window).
//
// The help file is a text index, one topic per line: "number|file|title"; lines that
// are empty or start with '#' are ignored. The files (HTML) lie beside the index.
#pragma once

#include <QString>
#include <QWidget>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.hpp"
#include "core/profile_formats.hpp"
#include "core/session.hpp"

class QListWidget;
class QTextBrowser;

namespace vornax {

struct HelpTopic {
  int number = 0;
  std::string file;
  std::string title;
};

// A page holding this comment shows, in its place, the table of profile formats: the
// kinds, their files and contents, as the menus and --type know them.
inline constexpr std::string_view kProfileFormatsHelpMarker = "<!-- profile formats -->";
std::string profile_formats_help_html();
// "Column Format": the menu caption without its accelerator and patterns.
std::string profile_format_name(const ProfileFormat& f);

// Reads the index; malformed lines are skipped. Throws FileError when it cannot be read.
std::vector<HelpTopic> read_help_index(const std::filesystem::path& index);

// Where the help file is: the working folder first (as the program has always looked),
// then help/ in the data folder. Empty when neither holds it.
std::filesystem::path locate_help_file(const WorkSession& s);

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  explicit HelpWindow(Messages& m, QWidget* parent = nullptr);

  // Loads the index and shows the topic (the first topic when the number is unknown).
  // "Help file not found" and the like go through the messages; returns false then.
  bool open_help(const std::filesystem::path& help_file, int topic);

  int current_topic() const { return current_; }
  const std::vector<HelpTopic>& topics() const { return topics_; }
  QTextBrowser* browser() const { return browser_; }
  QListWidget* topic_list() const { return list_; }

 private:
  void show_topic_at(int row);

  Messages& m_;
  QListWidget* list_ = nullptr;
  QTextBrowser* browser_ = nullptr;
  std::vector<HelpTopic> topics_;
  std::filesystem::path folder_;
  int current_ = 0;
};

}  // namespace vornax
