// The export's refined shift and its error: the decimals of the error's second
// significant digit, at least the two of the column.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "refine/report.hpp"

namespace vornax {
namespace {

// A report with the lines the export reads, typed as the report lays them out.
std::vector<std::string> report_with(const std::string& zero, const std::string& zero_error) {
  return {
      "VORNAX Version 3.  01/01/2026 10:00:00",
      "----------------------------------------------------------------------",
      "",
      "si.dif",
      "",
      "Initial values    : (Refinement keys on 2nd line)",
      "--------------    :",
      "  Zero    Lambda      a       b       c      alpha  beta   gamma   volume",
      "   0.000 1.54059   5.4300   5.4300   5.4300  90.00  90.00  90.00    160.10",
      "   1      0         1        0        0        0      0      0",
      "",
      "Final values      : (Standard errors on 2nd line)",
      "------------",
      "  Zero    Lambda      a       b       c      alpha  beta   gamma   volume",
      zero + " 1.54059   5.4312   5.4312   5.4312  90.00  90.00  90.00    160.21",
      zero_error + " 0.00000   0.0002   0.0000   0.0000   0.000  0.000  0.000    0.018",
  };
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  size_t b = 0;
  for (size_t e; (e = line.find('\t', b)) != std::string::npos; b = e + 1) out.push_back(line.substr(b, e - b));
  return out;
}

TEST(ExcelExport, ShiftAndItsErrorKeepTheDecimalsOfTheError) {
  struct Case {
    const char* zero;
    const char* error;
    const char* zero_field;
    const char* error_field;
  } cases[] = {
      {"   0.032", "  0.0034", " 0.0320", " 0.0034"},
      {"  -0.041", "  0.0120", " -0.041", "  0.012"},
      {"   0.250", "  0.2500", "   0.25", "   0.25"},
      {"   0.032", "  0.0000", "   0.03", "   0.00"},
      {"   0.003", "  0.0004", "0.00300", "0.00040"},
  };
  for (const Case& c : cases) {
    const auto excel = excel_text(report_with(c.zero, c.error), 0, ShiftMode::ConstantZeroShift);
    ASSERT_GE(excel.size(), 10u) << c.zero;
    const auto values = fields(excel[8]);
    const auto errors = fields(excel[9]);
    ASSERT_EQ(values.size(), 9u);
    ASSERT_EQ(errors.size(), 8u);
    EXPECT_EQ(values[0], c.zero_field) << c.zero << " +- " << c.error;
    EXPECT_EQ(errors[0], c.error_field) << c.zero << " +- " << c.error;
    // The other columns keep their own decimals.
    EXPECT_EQ(values[2], " 5.4312");
    EXPECT_EQ(errors[2], " 0.0002");
    // The initial shift has no error: its two decimals stay.
    EXPECT_EQ(fields(excel[4])[0], "   0.00");
  }
}

}  // namespace
}  // namespace vornax
