// Bad input to the readers of the cell entry, the catalogue, the operator files and
// scfs.dat: truncated, oversized, garbage and empty input ends in a plain result or a
// clear error, never in a crash or a hang, and a failed read leaves the session as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "calc_fixtures.hpp"
#include "core/catalogue.hpp"
#include "core/cell_entry.hpp"
#include "core/format.hpp"
#include "core/session.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace std::string_literals;
using namespace std::string_view_literals;
using vornax::testing::read_bytes;
using vornax::testing::TempFolder;
using vornax::testing::write_bytes;
namespace fs = std::filesystem;

namespace {

const fs::path kData = VORNAX_SOURCE_DATA_DIR;

std::string random_text(std::mt19937& rng, std::string_view alphabet, size_t max_len) {
  std::uniform_int_distribution<size_t> len(0, max_len), pick(0, alphabet.size() - 1);
  std::string t(len(rng), ' ');
  for (char& c : t) c = alphabet[pick(rng)];
  return t;
}

// `bytes` with `n` bytes replaced by characters that upset line-based readers.
std::string corrupted(std::mt19937& rng, std::string bytes, int n) {
  static constexpr std::string_view kNoise = "\r\n\0,-+/.0123456789XYZxyzPF \t\x80\xff"sv;
  std::uniform_int_distribution<size_t> at(0, bytes.size() - 1), pick(0, kNoise.size() - 1);
  for (int i = 0; i < n && !bytes.empty(); ++i) bytes[at(rng)] = kNoise[pick(rng)];
  return bytes;
}

constexpr std::string_view kNumberish = "0123456789.,-+eE \tx";

}  // namespace

TEST(TypedNumbers, GarbageGivesNoNumberOrAFiniteOne) {
  std::mt19937 rng(1201);
  for (int i = 0; i < 20000; ++i) {
    const std::string t = random_text(rng, kNumberish, 12);
    SCOPED_TRACE('"' + t + '"');
    EXPECT_FALSE(repair_number_text(t).empty());
    if (auto v = parse_typed(t)) {
      ASSERT_TRUE(std::isfinite(*v));
    }
    if (auto v = parse_real(t)) {
      ASSERT_TRUE(std::isfinite(*v));
    }
  }
  struct Case {
    std::string text;
    bool ok;
  };
  const Case cases[] = {
      {std::string(100000, '9'), false},                 // overflows a double
      {"1e" + std::string(400, '9'), false},             // exponent overflow
      {"0." + std::string(100000, '0') + "1", true},     // underflows to 0, still a number
      {std::string(10000, '-'), false},
      {std::string(10000, '.'), false},
      {"5\0"s, false},                                    // a NUL inside the text
      {std::string(1, '\0'), false},
      {std::string(5000, ' ') + "7" + std::string(5000, ' '), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    EXPECT_EQ(parse_typed(c.text).has_value(), c.ok);
  }
}

TEST(TypedNumbers, CellEntryStopsAtTheFirstBadFieldAndKeepsTheRest) {
  static const char* const kMessages[9] = {
      "Error on a",     "Error on b",    "Error on c",      "Error on alpha",    "Error on beta",
      "Error on gamma", "Error on lambda", "Error on theta_min", "Error on theta_max"};
  std::mt19937 rng(77);
  std::bernoulli_distribution empty(0.05);
  for (int i = 0; i < 3000; ++i) {
    CellEntryInput in;
    for (auto& f : in.fields) f = empty(rng) ? "" : random_text(rng, kNumberish, 6);
    WorkSession s;
    s.cell = {-1, -2, -3, -4, -5, -6};
    s.wavelengths.lambda = -7;
    s.range_min = -8;
    s.range_max = -9;
    const std::array<double, 9> former = {-1, -2, -3, -4, -5, -6, -7, -8, -9};
    RecordingMessages m;
    const auto echo = read_cell_entry(s, in, m);
    const std::array<double, 9> now = {s.cell.a,    s.cell.b,  s.cell.c,
                                       s.cell.alpha, s.cell.beta, s.cell.gamma,
                                       s.wavelengths.lambda, s.range_min, s.range_max};
    // Where reading stopped: the first empty field or the first that does not convert.
    size_t stop = 9;
    for (size_t k = 0; k < 9 && stop == 9; ++k)
      if (in.fields[k].empty() || !parse_typed(in.fields[k])) stop = k;
    SCOPED_TRACE("stopped at field " + std::to_string(stop));
    EXPECT_EQ(echo.has_value(), stop == 9);
    if (stop < 9 && !in.fields[stop].empty())
      EXPECT_EQ(m.texts(), std::vector<std::string>{kMessages[stop]});
    else
      EXPECT_TRUE(m.empty());
    for (size_t k = stop; k < 9; ++k) EXPECT_EQ(now[k], former[k]) << "field " << k;
  }
}

TEST(TypedNumbers, FailedVerificationKeepsTheCell) {
  std::mt19937 rng(5);
  for (int i = 0; i < 3000; ++i) {
    const std::string t = random_text(rng, kNumberish, 6);
    WorkSession s;
    s.system = "RHOM";
    s.cell = {1, 2, 3, 4, 5, 6};
    RecordingMessages m;
    const int field = i % 2 ? kFieldA : kFieldAlpha;
    const auto r = check_cell_field(s, field, t, m);
    if (r.ok) {
      EXPECT_TRUE(m.empty());
      continue;
    }
    EXPECT_EQ(m.texts(), std::vector<std::string>{"Type error!"});
    EXPECT_EQ(s.cell.a, 1);
    EXPECT_EQ(s.cell.alpha, 4);
    EXPECT_EQ(s.cell.gamma, 6);
    EXPECT_TRUE(std::none_of(r.copies.begin(), r.copies.end(), [](auto& c) { return c.has_value(); }));
  }
}

TEST(TextLines, RandomBytesSplitAtEveryLineEnd) {
  TempFolder folder;
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<size_t> len(0, 300);
  for (int i = 0; i < 80; ++i) {
    std::string bytes(len(rng), '\0');
    for (char& c : bytes) c = static_cast<char>(byte(rng) % 5 == 0 ? "\r\n"[byte(rng) % 2] : byte(rng));
    write_bytes(folder.path() / "x.txt", bytes);
    const auto lines = read_text_lines(folder.path() / "x.txt");
    size_t ends = 0;
    for (size_t k = 0; k < bytes.size(); ++k)
      if (bytes[k] == '\n' || (bytes[k] == '\r' && (k + 1 == bytes.size() || bytes[k + 1] != '\n')))
        ++ends;
    EXPECT_GE(lines.size(), ends);
    EXPECT_LE(lines.size(), ends + 1);
  }
  write_bytes(folder.path() / "x.txt", "");
  EXPECT_TRUE(read_text_lines(folder.path() / "x.txt").empty());
}

// The operator file of a system, damaged: the H-M list and the loader give a list, a
// table within the limit or a FileError that leaves the session's table alone.
class DamagedOperatorFile : public ::testing::Test {
 protected:
  DamagedOperatorFile() {
    reset_session(s, folder_.path());
    s.data_folder = folder_.path() / "none";
    s.system = "TETR";
  }

  // Loads `symbol` from a q.pos holding `bytes`; checks the outcome.
  void load(const std::string& bytes, const std::string& symbol) {
    write_bytes(folder_.path() / "q.pos", bytes);
    CellTab tab;
    fill_hm_list(s, tab);
    ASSERT_FALSE(tab.hm_list.empty());
    EXPECT_EQ(tab.hm_list.front(), "No ext.");

    s.symbol = symbol;
    s.lattice_letter = '?';
    s.operators.assign(7, SymmetryOperator{});
    fs::remove(folder_.path() / "hm.txt");
    m.clear();
    try {
      load_operators_hm(s, m);
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find("q.pos"), std::string::npos) << e.what();
      EXPECT_EQ(s.operators.size(), 7u);
      EXPECT_EQ(s.lattice_letter, '?');
      EXPECT_FALSE(fs::exists(folder_.path() / "hm.txt"));
      return;
    }
    EXPECT_LE(s.operators.size(), static_cast<size_t>(kMaxOperators));
    EXPECT_EQ(read_text_lines(folder_.path() / "hm.txt").size(), s.operators.size());
    if (s.operators.empty())
      EXPECT_EQ(m.texts(), std::vector<std::string>{symbol + " not found"});
    else
      EXPECT_TRUE(m.empty());
  }

  TempFolder folder_;
  WorkSession s;
  RecordingMessages m;
};

TEST_F(DamagedOperatorFile, TruncatedAndCorruptedSuppliedFile) {
  const std::string full = read_bytes(kData / "q.pos");
  const char* symbols[] = {"P 42/N M C:2", "I 41/A C D:2", "P 4", "F 4 M M", "NO EXT."};
  std::mt19937 rng(31);
  std::uniform_int_distribution<size_t> cut(0, full.size());
  for (int i = 0; i < 50; ++i) {
    const size_t n = cut(rng);
    SCOPED_TRACE("cut at " + std::to_string(n));
    load(full.substr(0, n), symbols[i % 5]);
  }
  for (int i = 0; i < 50; ++i) {
    SCOPED_TRACE("corruption " + std::to_string(i));
    load(corrupted(rng, full, 8), symbols[i % 5]);
  }
}

TEST_F(DamagedOperatorFile, OddFiles) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"blank lines only", "\r\n\r\n   \r\n"},
      {"symbol last", "\r\nP 4"},
      {"count overflows", "\r\nP 4\r\n0\r\n99999999999999999999999\r\nX,Y,Z\r\n"},
      {"negative count", "\r\nP 4\r\n0\r\n-1\r\n"},
      {"flag overflows", "\r\nP 4\r\n99999999999999999999999\r\n1\r\nX,Y,Z\r\n"},
      {"huge line", "\r\nP 4\r\n0\r\n1\r\n" + std::string(1 << 20, 'X') + "\r\n"},
      {"NUL bytes", "\r\nP 4\r\n0\r\n1\r\nX,\0Y,Z\r\n"s},
      {"count beyond the table", "\r\nP 4\r\n0\r\n193\r\n" + std::string(193 * 7, 'X')},
      {"empty expressions", "\r\nP 4\r\n0\r\n1\r\n,,\r\n"},
      {"count without its lines", "\r\nP 4\r\n1\r\n192\r\nX,Y,Z\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    load(c.bytes, "P 4");
  }
}

TEST(DamagedScfs, ReadsOrReportsTheFile) {
  TempFolder folder;
  const fs::path file = folder.path() / "scfs.dat";
  std::mt19937 rng(4);
  const std::string good =
      "head\r\n  1  0  0  0.0000000000 ,  0  1  0  0.5000000000 ,  0  0  1  0.0000000000\r\n"
      " -1  0  0  0.5000000000 ,  0 -1  0  0.0000000000 ,  0  0  1  0.5000000000\r\n\r\n";
  std::uniform_int_distribution<size_t> cut(0, good.size());
  for (int i = 0; i < 100; ++i) {
    const std::string bytes = i < 50 ? good.substr(0, cut(rng)) : corrupted(rng, good, 4);
    write_bytes(file, bytes);
    try {
      const auto ops = read_scfs(file);
      EXPECT_LE(ops.size(), 2u);
      for (const auto& op : ops)
        for (const auto& row : op.rows)
          for (double v : row) EXPECT_TRUE(std::isfinite(v));
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find("scfs.dat"), std::string::npos) << e.what();
    }
  }
  write_bytes(file, "");
  EXPECT_TRUE(read_scfs(file).empty());
}

TEST(DamagedCatalogue, GarbageHallSymbolsGiveAnErrorOrAGroup) {
  TempFolder folder;
  WorkSession s;
  reset_session(s, folder.path());
  s.data_folder = folder.path() / "none";
  s.system = "CUBI";
  s.symbol = "F M -3 M";
  RecordingMessages m;
  std::mt19937 rng(8);
  for (int i = 0; i < 100; ++i) {
    const std::string hall = random_text(rng, "PABCIFR-1234623xyzabcnuvwd\"'*() ", 20);
    write_bytes(folder.path() / "spgr2.dat", "   1 F m -3 m" + std::string(13, ' ') + hall + "\r\n");
    SCOPED_TRACE(hall);
    s.operators.assign(3, SymmetryOperator{});
    m.clear();
    try {
      load_operators_getspec(s, m);
      EXPECT_LE(s.operators.size(), static_cast<size_t>(kMaxOperators));
      EXPECT_EQ(m.empty(), !s.operators.empty());
    } catch (const FileError& e) {
      EXPECT_EQ(s.operators.size(), 3u);
    }
  }
}

TEST(DamagedCatalogue, TruncatedCatalogueGivesShorterLists) {
  TempFolder folder;
  WorkSession s;
  reset_session(s, folder.path());
  const std::string full = read_bytes(kData / "spgr2.dat");
  std::mt19937 rng(12);
  std::uniform_int_distribution<size_t> cut(0, full.size());
  for (int i = 0; i < 30; ++i) {
    const std::string bytes = i % 2 ? full.substr(0, cut(rng)) : corrupted(rng, full, 50);
    write_bytes(folder.path() / "spgr2.dat", bytes);
    for (const char* system : kSystemCodes) {
      s.system = system;
      s.symbol = "P 1";
      CellTab tab;
      fill_getspec_list(s, tab);
      const CatalogueBlock b = catalogue_block(system);
      EXPECT_LE(tab.getspec_list.size(), static_cast<size_t>(b.last - b.first + 1));
      for (const auto& e : tab.getspec_list) EXPECT_GE(e.size(), 32u);
    }
  }
}
