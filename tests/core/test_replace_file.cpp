// Whole-file writes through a temporary file: a failure leaves the old file as it was
// and no temporary file behind; success gives exactly the new bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/replace_file.hpp"

namespace fs = std::filesystem;

namespace {

std::string read(const fs::path& file) {
  std::ifstream f(file, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

struct Scratch {
  fs::path dir;
  Scratch() {
    std::string tmpl = (fs::temp_directory_path() / "vornax_replace_XXXXXX").string();
    dir = mkdtemp(tmpl.data());
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  size_t entries() const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
  }
};

TEST(ReplaceFile, WritesTheBytesOrLeavesTheOldFile) {
  // Bytes with a NUL and no final newline, larger than one buffer.
  std::string bytes(200000, 'x');
  bytes[7] = '\0';
  struct Case {
    const char* what;
    bool old_file;     // the target exists beforehand, mode 0640
    bool under_file;   // the target's folder is a regular file
    bool ok;
  } cases[] = {
      {"new file", false, false, true},
      {"existing file", true, false, true},
      {"folder is a file", false, true, false},
  };
  for (const Case& c : cases) {
    Scratch s;
    fs::path target = s.dir / "pic.png";
    if (c.under_file) {
      std::ofstream(s.dir / "plain") << "plain";
      target = s.dir / "plain" / "pic.png";
    }
    if (c.old_file) {
      std::ofstream(target) << "old";
      fs::permissions(target, fs::perms(0640));
    }
    const auto failed = vornax::replace_file_contents(target, bytes);
    EXPECT_EQ(!failed, c.ok) << c.what << ": " << failed.value_or("");
    if (c.ok) {
      EXPECT_EQ(read(target), bytes) << c.what;
      EXPECT_EQ(s.entries(), 1u) << c.what;  // no temporary file left
      if (c.old_file) {
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms(0640));
      }
    } else {
      EXPECT_NE(failed->find(target.string()), std::string::npos) << *failed;
      EXPECT_EQ(s.entries(), 1u) << c.what;
    }
  }
}

TEST(ReplaceFile, FullDeviceIsAnError) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const auto failed = vornax::replace_file_contents("/dev/full", std::string(100000, 'x'));
  ASSERT_TRUE(failed.has_value());
  EXPECT_NE(failed->find("/dev/full"), std::string::npos) << *failed;
  EXPECT_TRUE(fs::is_character_file("/dev/full"));  // written to, never replaced
}

TEST(ReplaceFile, FolderTargetIsRefusedAndKept) {
  Scratch s;
  fs::create_directories(s.dir / "pic.png" / "inside");
  const auto failed = vornax::replace_file_contents(s.dir / "pic.png", "bytes");
  ASSERT_TRUE(failed.has_value());
  EXPECT_TRUE(fs::is_directory(s.dir / "pic.png" / "inside"));
}

}  // namespace
