// Lines of a text file walked in place, for readers of files that can hold hundreds of
// thousands of lines.
#pragma once

#include <cstddef>
#include <string_view>

namespace vornax {

// The lines of `bytes` one after the other, cut where split_text_lines cuts them (CR LF,
// LF or a lone CR; the last line may lack its end) but without copying: each line is a
// view of the raw Windows-1252 bytes. Memory stays near the file size whatever the line
// count.
class TextLineWalker {
 public:
  explicit TextLineWalker(std::string_view bytes) : bytes_(bytes) {}

  // The next line into `line`; false when there is none left.
  bool next(std::string_view& line) {
    if (pos_ >= bytes_.size()) return false;
    // A plain loop: find_first_of calls memchr on its set for every byte.
    size_t end = pos_;
    while (end < bytes_.size() && bytes_[end] != '\r' && bytes_[end] != '\n') ++end;
    line = bytes_.substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < bytes_.size() && bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() &&
        bytes_[pos_ + 1] == '\n')
      ++pos_;
    ++pos_;
    ++number_;
    return true;
  }

  // The 1-based number of the line last returned.
  size_t line_number() const { return number_; }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

// True when `line` holds nothing but blanks and tabs.
inline bool is_blank_line(std::string_view line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}

}  // namespace vornax
