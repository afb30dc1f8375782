// Files that are not what they seem: folders, FIFOs and devices given as input, and
// outputs whose name is a symbolic link or cannot be replaced. Each ends in FileError
// naming the file, never a hang, a stream exception or a file changed elsewhere.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "calc_fixtures.hpp"
#include "core/text_file.hpp"

using namespace vornax;
using vornax::testing::read_bytes;
using vornax::testing::TempFolder;
using vornax::testing::write_bytes;
namespace fs = std::filesystem;

namespace {

// The FileError text of reading `path`, or "read" when it was read.
std::string read_error(const fs::path& path) {
  try {
    read_text_lines(path);
    return "read";
  } catch (const FileError& e) {
    return e.what();
  }
}

size_t entries_in(const fs::path& folder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
  return n;
}

}  // namespace

TEST(FileSafety, SpecialFilesAsInputAreRefusedNamingTheFile) {
  TempFolder dir;
  fs::create_directory(dir.path() / "peaks.dif");
  ASSERT_EQ(::mkfifo((dir.path() / "pipe.txt").c_str(), 0600), 0);
  write_bytes(dir.path() / "real.txt", "1 2\r\n3 4\r\n");
  fs::create_symlink(dir.path() / "real.txt", dir.path() / "link.txt");
  fs::create_symlink(dir.path() / "nowhere", dir.path() / "dangling.txt");

  // The FIFO has no writer: opening it would block for ever, so run the read apart
  // and give it a deadline.
  auto pending = std::async(std::launch::async, [&] { return read_error(dir.path() / "pipe.txt"); });
  ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "FIFO hangs";
  EXPECT_EQ(pending.get(), "Cannot open pipe.txt: not a regular file");

  EXPECT_EQ(read_error(dir.path() / "peaks.dif"), "Cannot open peaks.dif: not a regular file");
  EXPECT_EQ(read_error("/dev/zero"), "Cannot open zero: not a regular file");
  EXPECT_EQ(read_error(dir.path() / "dangling.txt"),
            "Cannot open dangling.txt: No such file or directory");
  EXPECT_EQ(read_error(dir.path() / "link.txt"), "read");  // a link to a real file is a file
  EXPECT_EQ(read_text_lines(dir.path() / "link.txt"), (std::vector<std::string>{"1 2", "3 4"}));
}

TEST(FileSafety, OversizedInputIsRefusedBeforeItIsRead) {
  TempFolder dir;
  write_bytes(dir.path() / "big.txt", std::string(1000, 'x'));
  EXPECT_NO_THROW(read_file_bytes(dir.path() / "big.txt", 1000));
  try {
    read_file_bytes(dir.path() / "big.txt", 999);
    FAIL() << "a file above the limit was read";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open big.txt: file too large (1000 bytes)");
  }
}

TEST(FileSafety, OutputThroughASymbolicLinkReplacesTheLinkNotItsTarget) {
  TempFolder dir;
  const fs::path elsewhere = dir.path() / "elsewhere";
  fs::create_directory(elsewhere);
  write_bytes(elsewhere / "precious.txt", "keep me\r\n");
  fs::create_symlink(elsewhere / "precious.txt", dir.path() / "vornax.out");

  TextFile report;
  report.add("new report");
  report.save(dir.path() / "vornax.out");

  EXPECT_EQ(read_bytes(elsewhere / "precious.txt"), "keep me\r\n");
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(dir.path() / "vornax.out")));
  EXPECT_EQ(read_bytes(dir.path() / "vornax.out"), "new report\r\n");
  EXPECT_EQ(entries_in(dir.path()), 2u);  // no temporary file left behind
}

TEST(FileSafety, ReplacedFileKeepsItsPermissionsAndBinaryBytes) {
  TempFolder dir;
  const fs::path p = dir.path() / "out.raw";
  write_bytes(p, "old");
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string bytes("RAW2\0\x01\xff\r\n", 9);
  write_file_atomically(p, bytes);
  EXPECT_EQ(read_bytes(p), bytes);
  EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(FileSafety, FailedWriteLeavesTheOldStateAndNoTemporaryFile) {
  TempFolder dir;
  struct Case {
    const char* what;
    fs::path target;
    std::string message_start;
  };
  fs::create_directory(dir.path() / "mouchard");
  write_bytes(dir.path() / "mouchard" / "inside", "x");
  const Case cases[] = {
      {"a folder at the name", dir.path() / "mouchard", "Cannot write mouchard: "},
      {"a missing folder", dir.path() / "no" / "such" / "hm.txt", "Cannot write hm.txt: "},
  };
  for (const auto& c : cases) {
    const size_t before = entries_in(dir.path());
    try {
      write_file_atomically(c.target, "text\r\n");
      ADD_FAILURE() << c.what << ": written";
    } catch (const FileError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message_start, 0), 0u) << c.what << ": " << e.what();
    }
    EXPECT_EQ(entries_in(dir.path()), before) << c.what;
  }
  EXPECT_EQ(read_bytes(dir.path() / "mouchard" / "inside"), "x");
}

TEST(TextEncoding, Windows1252BothWaysAroundPlainRuns) {
  struct Case {
    std::string utf8, cp1252;
  };
  const Case cases[] = {
      {"", ""},
      {"plain text 123", "plain text 123"},
      {"\xc3\xa9t\xc3\xa9", "\xe9t\xe9"},                       // été
      {"5.43 \xc3\x85 K\xce\xb1", "5.43 \xc5 K?"},               // Å kept, α not in the set
      {"\xe2\x82\xac" "100", "\x80" "100"},                      // € at 0x80
      {"ab\xe2\x80\x94" "cd\xc2\xb0", "ab\x97" "cd\xb0"},        // em dash, degree sign
      {"tail \xc3", "tail ?"},                                   // cut sequence
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8_to_cp1252(c.utf8), c.cp1252) << c.utf8;
  }
  // Every defined byte comes back as itself; the five undefined ones read as '?'.
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string in = "x" + one + "yz";
    const bool undefined = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
    EXPECT_EQ(utf8_to_cp1252(cp1252_to_utf8(in)), undefined ? "x?yz" : in) << b;
  }
}
