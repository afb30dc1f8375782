#include "core/text_file.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>

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

std::string cp1252_to_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
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

void TextFile::save(const std::filesystem::path& path) const {
  std::string bytes;
  for (const auto& l : lines) {
    bytes += utf8_to_cp1252(l);
    bytes += "\r\n";
  }
  errno = 0;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw file_error(path, "Cannot write");
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) throw file_error(path, "Cannot write");
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
