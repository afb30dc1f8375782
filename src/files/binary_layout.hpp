// The layout of binary diffractometer files: one little-endian cursor that checks every
// read against the bytes present, the signature and fixed-length text fields of the
// headers, and one writer of fields at fixed offsets. Every binary reader and writer
// goes through these, so a short file is always a FormatError naming the file.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "core/errors.hpp"

namespace vornax {

// The files are little-endian, as is every machine we build for.
static_assert(std::endian::native == std::endian::little);

// How a fixed-length text field is trimmed once its NUL has ended it.
enum class FieldTrim {
  None,
  TrailingBlanks,  // the blank padding after the text
  Blanks,          // blanks, tabs and line ends on both sides
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
    if (n > remaining()) short_file(pos_ + n);
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

  // The raw bytes of a fixed-size text field; a NUL ends the text (the rest of the
  // field is padding).
  std::string text(size_t n);

  // A header text field of `len` bytes at `offset`: ended by a NUL, trimmed as asked,
  // and turned from Windows-1252 into UTF-8.
  std::string text_field(size_t offset, size_t len, FieldTrim mode);

  // The signature at the start of the file: its first `len` bytes (all of a shorter
  // file) without trailing blanks, NULs and control characters ("RAW " and "RAW\0" are
  // "RAW"). Neither this nor has_signature moves the cursor or throws.
  std::string signature(size_t len) const;
  // True when the file holds exactly `signature` at `offset`.
  bool has_signature(std::string_view signature, size_t offset = 0) const;

  // `value` when it is a number; otherwise "<file>: damaged file (<what> is not a number)".
  double finite(double value, std::string_view what) const;

  [[noreturn]] void fail(std::string_view what) const {
    throw FormatError(name_ + ": " + std::string(what));
  }

 private:
  template <class T>
  T take() {
    if (sizeof(T) > remaining()) short_file(pos_ + sizeof(T));
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

// Builds a binary file of a known size: fields are put at their fixed offsets over a
// background of `fill` bytes. A field past the end is a fault of the writer and
// throws std::out_of_range.
class ByteWriter {
 public:
  ByteWriter(size_t size, char fill) : out_(size, fill) {}

  template <class T>
  void put(size_t offset, T value) {
    check(offset, sizeof value);
    std::memcpy(out_.data() + offset, &value, sizeof value);
  }
  // `text` cut to `len` bytes or padded with blanks to it.
  void text(size_t offset, size_t len, std::string_view text);
  void zeros(size_t offset, size_t len);

  const std::string& bytes() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  void check(size_t offset, size_t len) const;
  std::string out_;
};

}  // namespace vornax
