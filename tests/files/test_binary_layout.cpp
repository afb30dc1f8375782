#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "core/text_file.hpp"
#include "files/binary_layout.hpp"

namespace vornax {
namespace {

// Every read that would pass the end is a FormatError naming the file and the bytes
// the read needed (offset + size, counted by hand), and leaves nothing half read.
TEST(ByteCursor, ShortReadsNameTheFileAndTheBytesNeeded) {
  const std::string bytes("\x01\x02\x03\x04\xff\xff", 6);
  struct Case {
    const char* what;
    std::function<void(ByteCursor&)> read;
    size_t needs;
  };
  const Case cases[] = {
      {"u8 at the end", [](ByteCursor& c) { c.seek(6); c.u8(); }, 7},
      {"i16 across the end", [](ByteCursor& c) { c.seek(5); c.i16(); }, 7},
      {"u32 across the end", [](ByteCursor& c) { c.at<uint32_t>(3); }, 7},
      {"f64 from the start", [](ByteCursor& c) { c.at<double>(0); }, 8},
      {"seek past the end", [](ByteCursor& c) { c.seek(9); }, 9},
      {"skip past the end", [](ByteCursor& c) { c.seek(2); c.skip(100); }, 102},
      {"text field past the end", [](ByteCursor& c) { c.text_field(4, 3, FieldTrim::None); }, 7},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ByteCursor c(bytes, "t.raw");
    try {
      k.read(c);
      ADD_FAILURE() << "read past the end";
    } catch (const FormatError& e) {
      EXPECT_EQ(std::string(e.what()),
                "t.raw: file too short (needs " + std::to_string(k.needs) + " bytes, has 6)");
    }
  }
  // Within the bytes every read succeeds, little-endian.
  ByteCursor c(bytes, "t.raw");
  EXPECT_EQ(c.i32(), 0x04030201);
  EXPECT_EQ(c.u16(), 0xffff);
  EXPECT_EQ(c.remaining(), 0u);
}

// Fields put by the writer come back through the cursor, and their bytes are the
// little-endian ones worked out by hand (IEEE 754 for the reals).
TEST(ByteWriter, FieldsRoundTripThroughTheCursorInLittleEndian) {
  ByteWriter w(40, ' ');
  w.put<int16_t>(0, -2);            // fe ff
  w.put<uint16_t>(2, 0x0102);       // 02 01
  w.put<int32_t>(4, 0x01020304);    // 04 03 02 01
  w.put<float>(8, 1.0f);            // 00 00 80 3f
  w.put<double>(12, -2.0);          // 00 .. 00 00 c0
  w.text(20, 6, "RAW2");            // padded with blanks
  w.text(26, 3, "abcdef");          // cut
  w.zeros(29, 2);
  const std::string& b = w.bytes();
  ASSERT_EQ(b.size(), 40u);
  EXPECT_EQ(b.substr(0, 4), std::string("\xfe\xff\x02\x01", 4));
  EXPECT_EQ(b.substr(4, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(b.substr(8, 4), std::string("\x00\x00\x80\x3f", 4));
  EXPECT_EQ(b.substr(12, 8), std::string("\0\0\0\0\0\0\0\xc0", 8));
  EXPECT_EQ(b.substr(20, 11), std::string("RAW2  abc\0\0", 11));
  EXPECT_EQ(b.substr(31), std::string(9, ' '));  // untouched background

  ByteCursor c(b, "w.bin");
  EXPECT_EQ(c.i16(), -2);
  EXPECT_EQ(c.u16(), 0x0102);
  EXPECT_EQ(c.i32(), 0x01020304);
  EXPECT_EQ(c.f32(), 1.0f);
  EXPECT_EQ(c.f64(), -2.0);
  EXPECT_EQ(c.text_field(20, 6, FieldTrim::TrailingBlanks), "RAW2");

  // A field past the end is the writer's own fault, never a short file.
  EXPECT_THROW(w.put<double>(36, 1.0), std::out_of_range);
  EXPECT_THROW(w.text(38, 4, "x"), std::out_of_range);
}

// Header text fields: the NUL ends the text, the padding goes as each format pads, and
// Windows-1252 becomes UTF-8.
TEST(ByteCursor, TextFieldsEndAtNulAndLoseTheirPadding) {
  struct Case {
    std::string bytes;
    FieldTrim trim;
    std::string text;
  };
  const Case cases[] = {
      {std::string("ab\0cd", 5), FieldTrim::None, "ab"},
      {"  Si 640c  ", FieldTrim::None, "  Si 640c  "},
      {"  Si 640c  ", FieldTrim::TrailingBlanks, "  Si 640c"},
      {" \tSi 640c \r\n", FieldTrim::Blanks, "Si 640c"},
      {std::string("Cu  \0\0\0\0", 8), FieldTrim::TrailingBlanks, "Cu"},
      {"Quartz \xe9t\xe9   ", FieldTrim::TrailingBlanks, "Quartz \xc3\xa9t\xc3\xa9"},
      {"        ", FieldTrim::Blanks, ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.bytes);
    const std::string file = "xx" + k.bytes + "yy";
    ByteCursor c(file, "x");
    EXPECT_EQ(c.text_field(2, k.bytes.size(), k.trim), k.text);
    EXPECT_EQ(c.offset(), 2 + k.bytes.size());  // the whole field is passed
  }
}

TEST(ByteCursor, SignaturesLoseTheirPaddingAndShortFilesHaveNone) {
  struct Case {
    std::string bytes;
    std::string signature;  // of 4 bytes
    bool rd;                // "RD" at offset 2
  };
  const Case cases[] = {
      {"RAW2 and more", "RAW2", false},
      {"RAW xx", "RAW", false},
      {std::string("RAW\0", 4), "RAW", false},
      {"DI", "DI", false},
      {"", "", false},
      {"V5RD", "V5RD", true},
      {"V5R", "V5R", false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.bytes);
    const ByteCursor c(k.bytes, "s");
    EXPECT_EQ(c.signature(4), k.signature);
    EXPECT_EQ(c.has_signature("RD", 2), k.rd);
    EXPECT_EQ(c.has_signature(k.bytes), true);
    EXPECT_FALSE(c.has_signature("x", k.bytes.size() + 1));
  }
}

TEST(TextLines, EveryLineEndKeptInMemory) {
  auto lines = split_text_lines("a\r\nb\nc\rd");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], "d");
  EXPECT_EQ(split_text_lines("a\r\n\r\n").size(), 2u);
  std::string longline(100000, 'x');
  EXPECT_EQ(split_text_lines(longline)[0].size(), 100000u);
}

TEST(ReadFileBytes, OnlyRegularFilesOfSaneSize) {
  auto dir = std::filesystem::temp_directory_path() / "vornax_read_bytes";
  std::filesystem::create_directories(dir);
  EXPECT_THROW(read_file_bytes(dir), FileError);                 // a folder
  EXPECT_THROW(read_file_bytes(dir / "missing.dif"), FileError); // nothing there
  EXPECT_THROW(read_file_bytes("/dev/zero"), FileError);         // a device
  {
    std::ofstream f(dir / "small.txt", std::ios::binary);
    f << "12345";
  }
  EXPECT_EQ(read_file_bytes(dir / "small.txt"), "12345");
  EXPECT_THROW(read_file_bytes(dir / "small.txt", 4), FileError);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vornax
