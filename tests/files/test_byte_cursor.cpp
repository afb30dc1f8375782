#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/text_file.hpp"
#include "files/byte_cursor.hpp"

namespace vornax {
namespace {

TEST(ByteCursor, ReadsLittleEndianAndRefusesToPassTheEnd) {
  std::string bytes("\x01\x02\x03\x04\xff\xff", 6);
  ByteCursor c(bytes, "t.raw");
  EXPECT_EQ(c.i32(), 0x04030201);
  EXPECT_EQ(c.u16(), 0xffff);
  EXPECT_EQ(c.remaining(), 0u);
  try {
    c.u8();
    FAIL() << "read past the end";
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("t.raw"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("7 bytes"), std::string::npos);
  }
  EXPECT_THROW(c.seek(7), FormatError);
  EXPECT_THROW(c.at<double>(0), FormatError);  // 8 bytes from offset 0 of 6
  c.seek(0);
  EXPECT_THROW(c.skip(100), FormatError);
}

TEST(ByteCursor, TextFieldEndsAtNul) {
  std::string bytes("ab\0cd", 5);
  ByteCursor c(bytes, "x");
  EXPECT_EQ(c.text(5), "ab");
  EXPECT_EQ(c.offset(), 5u);
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
