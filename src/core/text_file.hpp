// Text files as the program writes and reads them: CR LF line ends and the
// Windows-1252 character set on disk, UTF-8 in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"

namespace vornax {

// "Cannot open <name>: <reason from errno>"
FileError file_error(const std::filesystem::path& path, std::string_view action);

std::string utf8_to_cp1252(std::string_view text);
std::string cp1252_to_utf8(std::string_view text);

// Writes `bytes` as the whole new content of `path`: first into a temporary file in
// the same folder, then renamed over the name. A symbolic link at `path` is replaced,
// not followed (the file it points to is left alone), and a reader of `path` sees the
// old content or the new, never a torn file. On failure the temporary file is removed,
// the old file stays whole, and FileError names the file.
void write_file_atomically(const std::filesystem::path& path, std::string_view bytes);

// The same, returning the errno of a failure (0 on success); with `sync` the bytes
// reach the disk before the rename. A folder is refused; an existing device or pipe
// is written to, never replaced.
int replace_file_bytes(const std::filesystem::path& path, std::string_view bytes, bool sync);

// Lines to be written in one go; nothing reaches the disk until save().
struct TextFile {
  std::vector<std::string> lines;
  void add(std::string line) { lines.push_back(std::move(line)); }
  // Writes every line followed by CR LF, in Windows-1252, through write_file_atomically.
  // Throws FileError.
  void save(const std::filesystem::path& path) const;
};

// No real input file comes near this size; anything larger is refused before it is read.
constexpr std::uintmax_t kMaxInputFileBytes = 256ull * 1024 * 1024;

// The whole content of an input file. Only regular files are opened (a folder, a FIFO
// or a device is refused, so nothing can hang or fill the memory), and a file above
// `max_bytes` is refused. Throws FileError naming the file.
std::string read_file_bytes(const std::filesystem::path& path,
                            std::uintmax_t max_bytes = kMaxInputFileBytes);

// Splits text at CR LF, LF or a lone CR (old Macintosh files), in memory, converting
// from Windows-1252. The last line may lack its line end; long lines stay whole.
std::vector<std::string> split_text_lines(std::string_view bytes);

// read_file_bytes + split_text_lines. Throws FileError.
std::vector<std::string> read_text_lines(const std::filesystem::path& path);

// read_text_lines for the program's catalogue files, which a calculation consults
// several times: the lines are kept, keyed by the file's path, size, modification time
// and inode, and read again when any of these changed. A file modified within the last
// seconds is not kept at all, since a rewrite within the clock's resolution would keep
// its time stamp. Throws FileError.
std::shared_ptr<const std::vector<std::string>> read_text_lines_kept(
    const std::filesystem::path& path);

// Splits a line into the numbers it holds, separated by blanks (and tabs);
// fields that are not numbers end the list.
std::vector<double> split_numbers(std::string_view line);

}  // namespace vornax
