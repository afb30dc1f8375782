// Number formatting, the strict parser, the typed-number repair and text files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "calc_fixtures.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"

using namespace vornax;

TEST(Format, FixedPointIsRightAlignedAndWidens) {
  struct Case {
    double v;
    int w, d;
    const char* want;
  };
  const Case cases[] = {
      {5.43, 8, 4, "  5.4300"},   {90, 8, 3, "  90.000"},     {1.540562, 8, 5, " 1.54056"},
      {-0.25, 7, 2, "  -0.25"},   {12345.678, 6, 2, "12345.68"}, {25.16842, 7, 3, " 25.168"},
      {0.1, 6, 3, " 0.100"},      {100, 8, 0, "     100"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_fixed(c.v, c.w, c.d), c.want) << c.v;
  EXPECT_EQ(format_int(7, 3), "  7");
  EXPECT_EQ(format_int(-12, 4), " -12");
  EXPECT_EQ(format_int(123456, 3), "123456");
}

TEST(Format, ParserAcceptsOnlyWholeNumbers) {
  struct Case {
    const char* text;
    bool ok;
    double v;
  };
  const Case cases[] = {
      {"5.43", true, 5.43},  {"  5.4300", true, 5.43}, {"5.43  ", true, 5.43},
      {"-0.25", true, -0.25}, {"+3", true, 3},          {".5", true, 0.5},
      {"5.", true, 5},       {"1,5", true, 1.5},       {"1.5e-3", true, 0.0015},
      {"2E2", true, 200},    {"\t7\t", true, 7},
      {"", false, 0},        {"   ", false, 0},         {"abc", false, 0},
      {"5.4.3", false, 0},   {"1,000.5", false, 0},    {"5 4", false, 0},
      {"5a", false, 0},      {"-", false, 0},          {".", false, 0},
      {"1e", false, 0},      {"inf", false, 0},        {"nan", false, 0},
      {"0x10", false, 0},    {"1e999", false, 0},
  };
  for (const auto& c : cases) {
    auto v = parse_real(c.text);
    EXPECT_EQ(v.has_value(), c.ok) << '"' << c.text << '"';
    if (v && c.ok) {
      EXPECT_DOUBLE_EQ(*v, c.v) << c.text;
    }
  }
  EXPECT_EQ(parse_integer(" 48 "), 48);
  EXPECT_FALSE(parse_integer("4.8"));
  EXPECT_FALSE(parse_integer(""));
}

TEST(Format, RepairNumberTextAppliesItsRulesInOrder) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"", "0"},            // empty text becomes 0 and nothing else happens
      {" .5", "0.5"},       // blank before a point
      {"1. ", "1.0"},       // blank after a point
      {"-.25", "-0.25"},    // after the first "-."
      {"12.", "12.0"},      // trailing point
      {"  .5", " 0.5"},     // only the first blank before the point
      {"5.43", "5.43"},     // untouched
      {"-.5.", "-0.5.0"},   // rules 4 and 5 both apply
      {"1 .5", "1 .5"},     // a digit before the blank: a typing error, not 10.5
  };
  for (const auto& c : cases) EXPECT_EQ(repair_number_text(c.in), c.out) << '"' << c.in << '"';
  EXPECT_DOUBLE_EQ(*parse_real(repair_number_text(".5")), 0.5);
  EXPECT_DOUBLE_EQ(*parse_real(repair_number_text("-.25")), -0.25);
  // A stray blank inside a number is refused rather than read as a digit.
  EXPECT_FALSE(parse_typed("1 .5"));
  EXPECT_FALSE(parse_typed("5 . 5"));
}

TEST(Format, ABoxStillShowingAStoredValueKeepsIt) {
  EXPECT_EQ(read_shown_number(" 1.54059", 1.540593, 5), 1.540593);
  EXPECT_EQ(read_shown_number("1.54059", 1.540593, 5), 1.540593);  // any width
  EXPECT_EQ(read_shown_number("1.5406", 1.540593, 5), 1.5406);     // retyped
  EXPECT_EQ(read_shown_number("-.5", 3.0, 2), -0.5);                // repaired
  EXPECT_FALSE(read_shown_number("x", 3.0, 2));
}

// Whether the user edited the box decides, not the text: a box retyped with exactly the
// digits shown means those digits.
TEST(Format, AnEditedBoxMeansWhatItSaysEvenWhenTheTextIsTheSame) {
  struct Case {
    const char* text;
    double shown;
    int decimals;
    bool edited;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {" 1.54059", 1.540593, 5, false, 1.540593},  // the program's own text
      {" 1.54059", 1.540593, 5, true, 1.54059},    // retyped, same text
      {"1.54059", 1.540593, 5, true, 1.54059},
      {"   20.00", 19.996, 2, true, 20.0},         // a range retyped as shown
      {"   20.00", 19.996, 2, false, 19.996},
      {"x", 1.0, 2, true, std::nullopt},
      {"-.5", 3.0, 2, true, -0.5},                 // still repaired
  };
  for (const Case& c : cases)
    EXPECT_EQ(read_shown_number(c.text, c.shown, c.decimals, c.edited), c.expected)
        << '"' << c.text << "\" edited=" << c.edited;
}

TEST(TextFiles, WriteCrLfWindows1252AndReadBack) {
  vornax::testing::TempFolder folder;
  const auto& dir = folder.path();
  auto p = dir / "t.txt";
  TextFile f;
  f.add("Matrice singulière");
  f.add("Nouveaux paramètres € ok");
  f.add("");
  f.save(p);
  std::ifstream in(p, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "Matrice singuli\xE8re\r\nNouveaux param\xE8tres \x80 ok\r\n\r\n");
  auto lines = read_text_lines(p);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Matrice singulière");
  EXPECT_EQ(lines[1], "Nouveaux paramètres € ok");
  // LF-only and CR-only files split the same way.
  {
    std::ofstream o(p, std::ios::binary);
    o << "a\nb\rc\r\nd";
  }
  EXPECT_EQ(read_text_lines(p), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_THROW(read_text_lines(dir / "missing.txt"), FileError);
}

TEST(TextFiles, SplitNumbersStopsAtTheFirstNonNumber) {
  EXPECT_EQ(split_numbers("  1.5  -2 3e1"), (std::vector<double>{1.5, -2, 30}));
  EXPECT_EQ(split_numbers("1 2 x 3"), (std::vector<double>{1, 2}));
  EXPECT_TRUE(split_numbers("").empty());
}

// Standard errors: never shown as zero, and in parenthesis notation with two digits.
TEST(Format, ErrorsKeepTwoSignificantDigits) {
  EXPECT_EQ(decimals_for_error(1.2e-5, 4), 6);        // 0.000012, not 0.0000
  EXPECT_EQ(decimals_for_error(0.0123, 4), 4);        // the box's own four suffice
  EXPECT_EQ(decimals_for_error(9.96e-6, 4), 6);       // rounds up to 0.000010
  EXPECT_EQ(decimals_for_error(0, 4), 4);
  EXPECT_EQ(format_fixed(1.2e-5, 8, decimals_for_error(1.2e-5, 4)), "0.000012");
  struct Case {
    double value, sigma;
    const char* text;
  } cases[] = {
      {5.4311942, 0.0000123, "5.431194(12)"},
      {90.0, 0.00244, "90.0000(24)"},
      {160.21, 0.0031, "160.2100(31)"},
      {1234.5, 12.3, "1234(12)"},
      {5.43, 0, "5.430000"},
  };
  for (const auto& c : cases) EXPECT_EQ(with_uncertainty(c.value, c.sigma), c.text) << c.text;
}
