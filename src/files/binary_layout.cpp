#include "files/binary_layout.hpp"

#include <cmath>
#include <stdexcept>

#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

std::string ByteCursor::text(size_t n) {
  if (n > remaining()) short_file(pos_ + n);
  std::string_view field = bytes_.substr(pos_, n);
  pos_ += n;
  return std::string(field.substr(0, field.find('\0')));
}

std::string ByteCursor::text_field(size_t offset, size_t len, FieldTrim mode) {
  seek(offset);
  std::string t = text(len);
  if (mode == FieldTrim::TrailingBlanks)
    while (!t.empty() && t.back() == ' ') t.pop_back();
  else if (mode == FieldTrim::Blanks)
    t = trim(t);
  return cp1252_to_utf8(t);
}

double ByteCursor::finite(double value, std::string_view what) const {
  if (!std::isfinite(value)) fail("damaged file (" + std::string(what) + " is not a number)");
  return value;
}

void ByteCursor::short_file(size_t wanted) const {
  throw FormatError(name_ + ": file too short (needs " + std::to_string(wanted) +
                    " bytes, has " + std::to_string(bytes_.size()) + ")");
}

std::string ByteCursor::signature(size_t len) const {
  std::string sig(bytes_.substr(0, len));
  while (!sig.empty() && static_cast<unsigned char>(sig.back()) <= ' ') sig.pop_back();
  return sig;
}

bool ByteCursor::has_signature(std::string_view signature, size_t offset) const {
  return offset <= bytes_.size() && bytes_.substr(offset, signature.size()) == signature;
}

void ByteWriter::text(size_t offset, size_t len, std::string_view text) {
  check(offset, len);
  std::string field(text.substr(0, len));
  field.resize(len, ' ');
  out_.replace(offset, len, field);
}

void ByteWriter::zeros(size_t offset, size_t len) {
  check(offset, len);
  out_.replace(offset, len, std::string(len, '\0'));
}

void ByteWriter::check(size_t offset, size_t len) const {
  if (offset > out_.size() || len > out_.size() - offset)
    throw std::out_of_range("field at " + std::to_string(offset) + " past the end of the file");
}

}  // namespace vornax
