#include "core/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>

#include "core/format.hpp"

namespace vornax {

FileError file_error(const std::filesystem::path& path, std::string_view action) {
  int e = errno;
  std::string reason = e ? std::strerror(e) : "input/output error";
  return FileError(std::string(action) + " " + path.filename().string() + ": " + reason);
}

// Unicode code points of Windows-1252 bytes 0x80..0x9F (0 where the byte is undefined).
static constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

static void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

// Length of the leading run of plain ASCII bytes, which both conversions copy as is.
size_t ascii_run(std::string_view text, size_t from) {
  size_t i = from;
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i - from;
}

}  // namespace

std::string cp1252_to_utf8(std::string_view text) {
  const size_t plain = ascii_run(text, 0);
  if (plain == text.size()) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  out.append(text.substr(0, plain));
  for (unsigned char c : text.substr(plain)) {
    if (c < 0x80) out += static_cast<char>(c);
    else if (c < 0xA0) append_utf8(out, kHigh[c - 0x80] ? kHigh[c - 0x80] : U'?');
    else append_utf8(out, c);
  }
  return out;
}

std::string utf8_to_cp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (const size_t plain = ascii_run(text, i); plain > 0) {
      out.append(text.substr(i, plain));
      i += plain;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { out += '?'; ++i; continue; }  // stray byte
    if (i + len > text.size()) { out += '?'; break; }
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) { out += '?'; ++i; continue; }
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) { out += static_cast<char>(cp); continue; }
    char mapped = '?';
    for (int k = 0; k < 32; ++k)
      if (kHigh[k] == cp && cp != 0) { mapped = static_cast<char>(0x80 + k); break; }
    out += mapped;
  }
  return out;
}

namespace {

// Every byte to `fd`, then (with `sync`) to the disk; the errno of the first failure, or 0.
int write_all(int fd, std::string_view bytes, bool sync) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  if (sync && ::fsync(fd) != 0 && errno != EINVAL) return errno;
  return 0;
}

}  // namespace

int replace_file_bytes(const std::filesystem::path& path, std::string_view bytes, bool sync) {
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return EISDIR;
  if (exists && !S_ISREG(old.st_mode)) {
    // A device or a pipe cannot be replaced by renaming: it is written to.
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = write_all(fd, bytes, false);
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
  }
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  const std::string base = "." + path.filename().string() + ".tmp";
  static std::atomic<unsigned> serial{0};
  std::filesystem::path temp;
  int fd = -1;
  // A name nobody else holds: O_EXCL refuses an existing file or a link planted there.
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder / (base + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return errno;
  // A file rewritten in place keeps its permissions; a new one gets the usual ones.
  int error = exists && ::fchmod(fd, old.st_mode & 07777) != 0 ? errno : 0;
  if (error == 0) error = write_all(fd, bytes, sync);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temp.c_str());
  return error;
}

void write_file_atomically(const std::filesystem::path& path, std::string_view bytes) {
  if (const int error = replace_file_bytes(path, bytes, false)) {
    errno = error;
    throw file_error(path, "Cannot write");
  }
}

void TextFile::save(const std::filesystem::path& path) const {
  std::string bytes;
  size_t size = 0;
  for (const auto& l : lines) size += l.size() + 2;
  bytes.reserve(size);
  for (const auto& l : lines) {
    bytes += utf8_to_cp1252(l);
    bytes += "\r\n";
  }
  write_file_atomically(path, bytes);
}

std::string read_file_bytes(const std::filesystem::path& path, std::uintmax_t max_bytes) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (ec) {
    errno = ec.value();
    throw file_error(path, "Cannot open");
  }
  if (!std::filesystem::is_regular_file(status))
    throw FileError("Cannot open " + path.filename().string() + ": not a regular file");
  auto size = std::filesystem::file_size(path, ec);
  if (ec) {
    errno = ec.value();
    throw file_error(path, "Cannot open");
  }
  if (size > max_bytes)
    throw FileError("Cannot open " + path.filename().string() + ": file too large (" +
                    std::to_string(size) + " bytes)");
  errno = 0;
  std::ifstream f(path, std::ios::binary);
  if (!f) throw file_error(path, "Cannot open");
  std::string bytes(static_cast<size_t>(size), '\0');
  f.read(bytes.data(), static_cast<std::streamsize>(size));
  // A file that shrank while being read keeps what was there.
  bytes.resize(static_cast<size_t>(f.gcount()));
  if (f.bad()) throw file_error(path, "Cannot read");
  return bytes;
}

std::vector<std::string> split_text_lines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cp1252_to_utf8(bytes.substr(start, i - start)));
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < bytes.size()) lines.push_back(cp1252_to_utf8(bytes.substr(start)));
  return lines;
}

std::vector<std::string> read_text_lines(const std::filesystem::path& path) {
  return split_text_lines(read_file_bytes(path));
}

namespace {

struct KeptFile {
  std::uintmax_t size = 0;
  ino_t inode = 0;
  timespec modified{};
  std::shared_ptr<const std::vector<std::string>> lines;
};

bool same_time(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

std::shared_ptr<const std::vector<std::string>> read_text_lines_kept(
    const std::filesystem::path& path) {
  static std::mutex mutex;
  static std::map<std::string, KeptFile> kept;
  constexpr size_t kMaxKept = 32;
  constexpr time_t kSettledSeconds = 2;

  struct stat st {};
  const std::string key = path.string();
  if (::stat(key.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    std::lock_guard lock(mutex);
    auto it = kept.find(key);
    if (it != kept.end() && it->second.size == static_cast<std::uintmax_t>(st.st_size) &&
        it->second.inode == st.st_ino && same_time(it->second.modified, st.st_mtim))
      return it->second.lines;
  }
  auto lines = std::make_shared<const std::vector<std::string>>(read_text_lines(path));
  struct stat after {};
  if (::stat(key.c_str(), &after) == 0 && after.st_ino == st.st_ino &&
      after.st_size == st.st_size && same_time(after.st_mtim, st.st_mtim) &&
      ::time(nullptr) - st.st_mtim.tv_sec > kSettledSeconds) {
    std::lock_guard lock(mutex);
    if (kept.size() >= kMaxKept) kept.clear();
    kept[key] = {static_cast<std::uintmax_t>(st.st_size), st.st_ino, st.st_mtim, lines};
  }
  return lines;
}

std::vector<double> split_numbers(std::string_view line) {
  std::vector<double> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t b = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (b == i) break;
    auto v = parse_real(line.substr(b, i - b));
    if (!v) break;
    out.push_back(*v);
  }
  return out;
}

}  // namespace vornax
