// Reading binary diffractometer files: one little-endian cursor that checks every
// read against the bytes present, and one error type for a file that is not what
// its reader expects.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vornax {

// A file whose content does not fit its format (short, damaged, wrong signature).
// The message names the file and, for a short file, the offset where reading stopped.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteCursor {
 public:
  ByteCursor(std::string_view bytes, std::string file_name)
      : bytes_(bytes), name_(std::move(file_name)) {}

  size_t size() const { return bytes_.size(); }
  size_t offset() const { return pos_; }
  size_t remaining() const { return bytes_.size() - pos_; }
  const std::string& file_name() const { return name_; }

  // Moves to an absolute offset; an offset past the end is a short file.
  void seek(size_t offset) {
    if (offset > bytes_.size()) short_file(offset);
    pos_ = offset;
  }
  void skip(size_t n) {
    if (n > remaining()) short_file(pos_ + (n - remaining()));
    pos_ += n;
  }

  uint8_t u8() { return take<uint8_t>(); }
  int16_t i16() { return take<int16_t>(); }
  uint16_t u16() { return take<uint16_t>(); }
  int32_t i32() { return take<int32_t>(); }
  uint32_t u32() { return take<uint32_t>(); }
  float f32() { return take<float>(); }
  double f64() { return take<double>(); }

  // Reads at an absolute offset and leaves the cursor after the value.
  template <class T>
  T at(size_t offset) {
    seek(offset);
    return take<T>();
  }

  // A fixed-size text field; a NUL ends the text (the rest of the field is padding).
  std::string text(size_t n) {
    if (n > remaining()) short_file(pos_ + n);
    std::string_view field = bytes_.substr(pos_, n);
    pos_ += n;
    size_t nul = field.find('\0');
    return std::string(field.substr(0, nul));
  }

  [[noreturn]] void fail(std::string_view what) const {
    throw FormatError(name_ + ": " + std::string(what));
  }

 private:
  template <class T>
  T take() {
    if (sizeof(T) > remaining()) short_file(pos_ + sizeof(T));
    // The files are little-endian, as is every machine we build for.
    static_assert(std::endian::native == std::endian::little);
    T v;
    std::memcpy(&v, bytes_.data() + pos_, sizeof(T));
    pos_ += sizeof(T);
    return v;
  }
  [[noreturn]] void short_file(size_t wanted) const;

  std::string_view bytes_;
  std::string name_;
  size_t pos_ = 0;
};

}  // namespace vornax
