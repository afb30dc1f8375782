// Text files as the program writes and reads them: CR LF line ends and the
// Windows-1252 character set on disk, UTF-8 in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vornax {

// Input/output failure; the message names the file and the system's reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "Cannot open <name>: <reason from errno>"
FileError file_error(const std::filesystem::path& path, std::string_view action);

std::string utf8_to_cp1252(std::string_view text);
std::string cp1252_to_utf8(std::string_view text);

// Lines to be written in one go; nothing reaches the disk until save().
struct TextFile {
  std::vector<std::string> lines;
  void add(std::string line) { lines.push_back(std::move(line)); }
  // Writes every line followed by CR LF, in Windows-1252. Throws FileError.
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

// Splits a line into the numbers it holds, separated by blanks (and tabs);
// fields that are not numbers end the list.
std::vector<double> split_numbers(std::string_view line);

}  // namespace vornax
