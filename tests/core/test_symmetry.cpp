// Coordinate expressions, lattice centring, the operator-file and library routes to the
// operator table, and the hm.txt / hall.txt layout.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "calc_fixtures.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
namespace fs = std::filesystem;

namespace {

// A fresh folder that is the current folder and the session's working folder while the
// test runs: hm.txt, hall.txt and scfs.dat have fixed names.
class SymmetryFiles : public ::testing::Test {
 protected:
  SymmetryFiles() {
    reset_session(s, dir_);
    s.data_folder = dir_ / "no_data";  // only the files a test writes
  }
  void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    vornax::testing::write_bytes(p, text);
  }
  std::string read(const fs::path& p) { return vornax::testing::read_bytes(p); }

  vornax::testing::TempFolder folder_;
  fs::path dir_ = folder_.path();
  WorkSession s;
  RecordingMessages m;
};

SymmetryOperator op(std::array<double, 4> r1, std::array<double, 4> r2, std::array<double, 4> r3) {
  SymmetryOperator o;
  o.rows = {r1, r2, r3};
  return o;
}

constexpr double kTol = 1e-9;

}  // namespace

TEST(ParseExpression, RowFormsAndSuffixes) {
  struct Case {
    const char* text;
    std::array<double, 3> row;
    double t;
    bool ok;
  };
  const Case cases[] = {
      {"-Y+1/3", {0, -1, 0}, 0.3333333, true},
      {" x ", {1, 0, 0}, 0, true},
      {"y-x+5/6", {-1, 1, 0}, 0.83333, true},
      {"X-Y-1/2", {1, -1, 0}, -0.5, true},
      {"-Z+3/4", {0, 0, -1}, 0.75, true},
      {"Z-1/6", {0, 0, 1}, -0.166667, true},
      {"-X+2/3", {-1, 0, 0}, 0.6666667, true},
      {"Y+1/6", {0, 1, 0}, 0.166667, true},
      {"-x-5/6", {-1, 0, 0}, -0.83333, true},
      // "+1/2" is searched before "-1/2": the first suffix of the table found anywhere wins
      {"X-1/2+1/2", {0, 0, 0}, 0.5, false},
      {"X+Y", {0, 0, 0}, 0, false},
      {"2X", {0, 0, 0}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ParsedExpression e = parse_expression(c.text);
    EXPECT_EQ(e.ok, c.ok);
    if (c.ok) {
      EXPECT_EQ(e.row, c.row);
    }
    EXPECT_DOUBLE_EQ(e.translation, c.t);
  }
}

TEST(LatticeLetter, RhombohedralAxesAndNoExtinctionArePrimitive) {
  EXPECT_EQ(symbol_lattice_letter("R 3 M:H", "HEXA"), 'R');
  EXPECT_EQ(symbol_lattice_letter("R 3 M:R", "RHOM"), 'P');
  EXPECT_EQ(symbol_lattice_letter("NO EXT.", "CUBI"), 'P');
  EXPECT_EQ(symbol_lattice_letter("f m -3 m", "CUBI"), 'F');
  EXPECT_EQ(symbol_lattice_letter("", "CUBI"), ' ');
}

TEST(LatticeCentring, VectorsByLetterAndSystem) {
  const auto identity = op({1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0});
  struct Case {
    char letter;
    const char* system;
    std::vector<std::array<double, 3>> added;
  };
  const Case cases[] = {
      {'R', "HEXA",
       {{0.3333333333, 0.6666666666, 0.6666666666}, {0.6666666666, 0.3333333333, 0.3333333333}}},
      {'R', "RHOM", {}},
      {'F', "CUBI", {{0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}}},
      {'I', "TETR", {{0.5, 0.5, 0.5}}},
      {'A', "ORTH", {{0, 0.5, 0.5}}},
      {'B', "MONO", {{0.5, 0, 0.5}}},
      {'C', "MONO", {{0.5, 0.5, 0}}},
      {'P', "CUBI", {}},
      {'N', "CUBI", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.letter) + " " + c.system);
    std::vector<SymmetryOperator> ops{identity};
    add_lattice_centring(ops, c.letter, c.system);
    ASSERT_EQ(ops.size(), 1 + c.added.size());
    for (size_t i = 0; i < c.added.size(); ++i)
      for (size_t r = 0; r < 3; ++r) EXPECT_NEAR(ops[i + 1].rows[r][3], c.added[i][r], kTol);
  }
}

TEST(LatticeCentring, TranslationsAboveOneWrapButOneStaysOne) {
  // Copies per vector, vectors in table order; t > 1 loses 1, t == 1 is kept.
  std::vector<SymmetryOperator> ops{op({1, 0, 0, 0.5}, {0, 1, 0, 0.6666666666}, {0, 0, 1, 0.75})};
  add_lattice_centring(ops, 'R', "HEXA");
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_NEAR(ops[1].rows[0][3], 0.8333333333, kTol);
  EXPECT_NEAR(ops[1].rows[1][3], 0.3333333332, kTol);
  EXPECT_NEAR(ops[1].rows[2][3], 0.4166666666, kTol);
  std::vector<SymmetryOperator> c{op({1, 0, 0, 0.5}, {0, 1, 0, 0.5}, {0, 0, 1, 0})};
  add_lattice_centring(c, 'C', "ORTH");
  EXPECT_DOUBLE_EQ(c[1].rows[0][3], 1.0);
  EXPECT_DOUBLE_EQ(c[1].rows[1][3], 1.0);
}

TEST(LatticeCentring, FortyEightFOperatorsFillTheTableAndNoMore) {
  std::vector<SymmetryOperator> ops(48, op({1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}));
  add_lattice_centring(ops, 'F', "CUBI");
  EXPECT_EQ(ops.size(), static_cast<size_t>(kMaxOperators));
  std::vector<SymmetryOperator> too_many(60, op({1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}));
  add_lattice_centring(too_many, 'F', "CUBI");
  EXPECT_EQ(too_many.size(), static_cast<size_t>(kMaxOperators));
}

TEST_F(SymmetryFiles, HallTxtIdentityLineByteForByte) {
  write_operator_table(dir_ / "hall.txt",
                       {op({1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}),
                        op({-1, -0.0, 0, -0.0}, {0, 1, 0, 0.3333333}, {0, 0, -1, 0.5})});
  EXPECT_EQ(read(dir_ / "hall.txt"),
            "   1   0   0   0.00000 ,    0   1   0   0.00000 ,    0   0   1   0.00000 , \r\n"
            "  -1   0   0   0.00000 ,    0   1   0   0.33333 ,    0   0  -1   0.50000 , \r\n");
}

TEST_F(SymmetryFiles, CentrosymmetricBlockDoublesWithNegatedOperators) {
  write(dir_ / "m.pos",
        "\r\nP 1 2/m 1\r\n1\r\n1\r\nX,Y,Z\r\n"
        "\r\nP 1 21/c 1\r\n1\r\n2\r\nx, y, z\r\n-X, Y+1/2, -Z+1/2\r\n"
        "\r\nC 1 2 1\r\n0\r\n2\r\nX,Y,Z\r\n-X,Y,-Z\r\n");
  s.system = "MONO";
  s.symbol = "P 1 21/C 1";
  load_operators_hm(s, m);
  EXPECT_TRUE(m.empty());
  ASSERT_EQ(s.operators.size(), 4u);
  const auto& o3 = s.operators[2];
  EXPECT_EQ(o3.rows[0], (std::array<double, 4>{-1, 0, 0, 0}));
  const auto& o4 = s.operators[3];
  EXPECT_EQ(o4.rows[0], (std::array<double, 4>{1, 0, 0, 0}));
  EXPECT_EQ(o4.rows[1], (std::array<double, 4>{0, -1, 0, 0.5}));  // -0.5 raised by 1
  EXPECT_EQ(o4.rows[2], (std::array<double, 4>{0, 0, 1, 0.5}));
  EXPECT_EQ(s.lattice_letter, 'P');
  // hm.txt lists the final table, without negative zeros
  auto lines = read_text_lines(dir_ / "hm.txt");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2],
            "  -1   0   0   0.00000 ,    0  -1   0   0.00000 ,    0   0  -1   0.00000 , ");

  s.symbol = "C 1 2 1";  // C centring doubles the two listed operators
  load_operators_hm(s, m);
  ASSERT_EQ(s.operators.size(), 4u);
  EXPECT_EQ(s.operators[3].rows[1], (std::array<double, 4>{0, 1, 0, 0.5}));
}

TEST_F(SymmetryFiles, SymbolMissingFromTheFileGivesAnEmptyTable) {
  write(dir_ / "c.pos", "\r\nP m -3 m\r\n1\r\n1\r\nX,Y,Z\r\n");
  s.system = "CUBI";
  s.symbol = "F D -3 M:2";
  s.operators.assign(3, SymmetryOperator{});
  load_operators_hm(s, m);
  EXPECT_EQ(m.texts(), std::vector<std::string>{"F D -3 M:2 not found"});
  EXPECT_TRUE(s.operators.empty());
  EXPECT_EQ(read(dir_ / "hm.txt"), "");

  m.clear();  // no symbol: nothing to look up, the calculation reports it
  s.symbol = "";
  load_operators_hm(s, m);
  EXPECT_TRUE(m.empty());
  EXPECT_TRUE(s.operators.empty());
}

TEST_F(SymmetryFiles, MissingOperatorFileNamesItAndChangesNothing) {
  write(dir_ / "t.pos", "\r\nP 4\r\n0\r\n1\r\nX,Y,Z\r\n");  // the triclinic file is not it
  s.system = "TETR";
  s.symbol = "P 4";
  s.lattice_letter = 'Q';
  s.operators.assign(5, SymmetryOperator{});
  try {
    load_operators_hm(s, m);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("q.pos"), std::string::npos) << e.what();
  }
  EXPECT_EQ(s.operators.size(), 5u);
  EXPECT_EQ(s.lattice_letter, 'Q');
  EXPECT_FALSE(fs::exists(dir_ / "hm.txt"));
}

TEST_F(SymmetryFiles, BadBlocksAreReportedNotGuessed) {
  struct Case {
    const char* file;
    const char* symbol;
  };
  const Case cases[] = {
      {"\r\nP 4\r\n0\r\n1\r\nX,Y+Z,Z\r\n", "P 4"},           // not a row form
      {"\r\nP 4\r\n0\r\n2\r\nX,Y,Z\r\n", "P 4"},             // lines missing
      {"\r\nP 4\r\nzero\r\n1\r\nX,Y,Z\r\n", "P 4"},          // flag not an integer
      {"\r\nP 4\r\n0\r\n1\r\nX,Y Z\r\n", "P 4"},             // two commas needed
      {"\r\nI 4\r\n1\r\n97\r\n", "I 4"},                     // 97 x 2 x 2 > 192
  };
  s.system = "TETR";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    write(dir_ / "q.pos", c.file);
    s.symbol = c.symbol;
    s.operators.clear();
    EXPECT_THROW(load_operators_hm(s, m), FileError);
    EXPECT_TRUE(s.operators.empty());
  }
}

TEST_F(SymmetryFiles, HugeOperatorCountsAreRefusedAsTooMany) {
  // Counts whose product with the doubling and the centring copies would overflow:
  // 2^62 x 2 x 2 wraps to 0 in 64 bits and would pass as "few".
  s.system = "TETR";
  for (const char* count : {"4611686018427387904", "9223372036854775807", "193", "49"}) {
    SCOPED_TRACE(count);
    write(dir_ / "q.pos", std::string("\r\nI 4\r\n1\r\n") + count + "\r\nX,Y,Z\r\n");
    s.symbol = "I 4";
    try {
      load_operators_hm(s, m);
      ADD_FAILURE() << "accepted";
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find("more than 192 operators"), std::string::npos)
          << e.what();
    }
  }
  write(dir_ / "q.pos", "\r\nI 4\r\n1\r\n48\r\nX,Y,Z\r\n");  // 48 x 2 x 2 = 192 fits
  EXPECT_THROW(load_operators_hm(s, m), FileError);  // but its lines are missing
}

TEST_F(SymmetryFiles, NoExtinctionIsTheIdentityEvenWithoutItsBlock) {
  write(dir_ / "o.pos", "\r\nP 2 2 2\r\n0\r\n1\r\nX,Y,Z\r\n");
  s.system = "ORTH";
  s.symbol = "NO EXT.";
  load_operators_hm(s, m);
  EXPECT_TRUE(m.empty());
  ASSERT_EQ(s.operators.size(), 1u);
  EXPECT_EQ(s.lattice_letter, 'P');
  EXPECT_EQ(s.operators[0].rows[2], (std::array<double, 4>{0, 0, 1, 0}));
}

TEST_F(SymmetryFiles, WorkingFolderCopyWinsOverTheDataFolder) {
  write(s.data_folder / "h.pos", "\r\nP 3\r\n0\r\n3\r\nX,Y,Z\r\n-Y,X-Y,Z\r\nY-X,-X,Z\r\n");
  s.system = "HEXA";
  s.symbol = "P 3";
  load_operators_hm(s, m);
  EXPECT_EQ(s.operators.size(), 3u);
  write(dir_ / "h.pos", "\r\nP 3\r\n0\r\n1\r\nX,Y,Z\r\n");
  load_operators_hm(s, m);
  EXPECT_EQ(s.operators.size(), 1u);
}

TEST_F(SymmetryFiles, ScfsRepairsPointsAndReadsCommas) {
  write(dir_ / "scfs.dat",
        "any first line\r\n"
        " 1 0 0 .5, 0 1 0 -.25 ,0 0 1 0\r\n"
        "-1 0 0 0 0 -1 0 .0 0 0 -1 0.75\r\n"
        "\r\n"
        "1 0 0 0 0 1 0 0 0 0 1 0\r\n");
  auto ops = read_scfs(dir_ / "scfs.dat");
  ASSERT_EQ(ops.size(), 2u);  // stops at the empty line
  EXPECT_EQ(ops[0].rows[0], (std::array<double, 4>{1, 0, 0, 0.5}));
  EXPECT_EQ(ops[0].rows[1], (std::array<double, 4>{0, 1, 0, -0.25}));
  EXPECT_EQ(ops[1].rows[2], (std::array<double, 4>{0, 0, -1, 0.75}));
  write(dir_ / "scfs.dat", "head\r\n1 0 0 0 0 1 0 0 0 0 1\r\n");
  EXPECT_THROW(read_scfs(dir_ / "scfs.dat"), FileError);
}

TEST_F(SymmetryFiles, GetspecFindsTheSymbolWhateverCaseAndBlanks) {
  // Catalogue columns: H-M 6-17, Hall 27-46.
  write(dir_ / "spgr2.dat",
        "   1 P 1                  P 1                 001\r\n"
        "   2 P 1 21/c 1           -P 2ybc             014\r\n");
  std::array<int32_t, 16> codes;
  codes.fill(32);
  const std::string sym = "p121/C1";
  for (size_t i = 0; i < sym.size(); ++i) codes[i] = sym[i];
  getspec(codes, dir_ / "spgr2.dat", dir_ / "scfs.dat");
  auto lines = read_text_lines(dir_ / "scfs.dat");
  ASSERT_EQ(lines.size(), 6u);  // title, four operators, the empty line
  EXPECT_EQ(lines[5], "");
  auto ops = read_scfs(dir_ / "scfs.dat");
  ASSERT_EQ(ops.size(), 4u);
  EXPECT_EQ(ops[0].rows[1], (std::array<double, 4>{0, 1, 0, 0}));
}

TEST_F(SymmetryFiles, LibraryRouteAddsCentringAndWritesHallTxt) {
  write(dir_ / "spgr2.dat",
        "   1 R 3 m:H              R 3 -2\"            160\r\n"
        "   2 R 3 m:R              P 3* -2             160\r\n"
        "   3 F m -3 m             -F 4 2 3            225\r\n");
  s.data_folder = dir_;
  fs::create_directories(dir_ / "work");
  // The library writes scfs.dat and hall.txt in the current folder, which starts as
  // the working folder.
  s.working_folder = s.current_folder = dir_ / "work";
  struct Case {
    const char* system;
    const char* symbol;
    size_t count;
  };
  const Case cases[] = {{"HEXA", "R 3 M:H", 18}, {"RHOM", "R 3 M:R", 6}, {"CUBI", "F M -3 M", 192}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.symbol);
    s.system = c.system;
    s.symbol = c.symbol;
    load_operators_getspec(s, m);
    EXPECT_EQ(s.operators.size(), c.count);
    EXPECT_EQ(read_text_lines(dir_ / "work" / "hall.txt").size(), c.count);
    EXPECT_TRUE(fs::exists(dir_ / "work" / "scfs.dat"));
  }
  EXPECT_TRUE(m.empty());
  fs::current_path(dir_);
}

TEST_F(SymmetryFiles, LibraryRouteFailuresLeaveTheTable) {
  s.system = "CUBI";
  s.symbol = "P M -3 M";
  s.operators.assign(2, SymmetryOperator{});
  try {
    load_operators_getspec(s, m);  // no spgr2.dat anywhere
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("spgr2.dat"), std::string::npos) << e.what();
  }
  EXPECT_EQ(s.operators.size(), 2u);

  write(dir_ / "spgr2.dat", "   1 P 1                  P 1                 001\r\n");
  load_operators_getspec(s, m);  // a symbol the catalogue lacks
  EXPECT_TRUE(s.operators.empty());
  EXPECT_EQ(m.texts(), std::vector<std::string>{"P M -3 M not found"});
}

TEST(GetspecText, HallSymbolsTheLibraryCannotPlaceAreRefusedNotRun) {
  // A screw subscript on a rotation without a direction made the space-group library
  // write outside its translation vector; such a line is reported as a bad catalogue.
  struct Case {
    const char* hall;
    size_t operators;  // 0: refused with FileError
  };
  const Case cases[] = {
      {"P 4 12", 0},          // a 1-fold "screw" in second place
      {"P 3 3*1", 0},         // screw on the body diagonal
      {"P 4_12", 0},          // '_' separates parts like a blank
      {"P 2 2 21", 0},        // third axis not named
      {"-P 2ac 2n", 8},       // P n m a
      {"P 61 2 (0 0 -1)", 12},
      {"-F 4vw 2vw 3", 48},   // F d -3 m, origin choice 1, without centring
      {"P 31 2\"", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hall);
    const std::vector<std::string> lines = {vornax::testing::catalogue_line("X 1", c.hall, "001")};
    std::array<int32_t, 16> codes;
    codes.fill(32);
    codes[0] = 'X';
    codes[2] = '1';
    if (c.operators == 0) {
      EXPECT_THROW(getspec_text(codes, lines, "spgr2.dat"), FileError);
    } else {
      const TextFile out = getspec_text(codes, lines, "spgr2.dat");
      EXPECT_EQ(scfs_from_lines(out.lines, "scfs.dat").size(), c.operators);
    }
  }
}
