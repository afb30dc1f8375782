// The files the refinement reads back, fed truncated, garbage, random and oversized:
// vornax.inp (loaded by the engine), vornax.out (read back into the session, and turned
// into Excel.txt from whatever is on disk). Each gives a clear error or a result, never
// a crash or a hang, and never changes the session's results.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>

#include "core/messages.hpp"
#include "core/text_file.hpp"
#include "commands/refine_tab.hpp"
#include "refine/refinement.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace refine_test;

namespace {

SelectedPair pair(int h, int k, int l, float obs) {
  SelectedPair p;
  p.h = static_cast<int32_t>(h);
  p.k = static_cast<int32_t>(k);
  p.l = static_cast<int32_t>(l);
  p.two_theta_obs = p.two_theta_calc = obs;
  return p;
}

// Five silicon peaks, a and the shift keyed.
void silicon_session(WorkSession& s) {
  reset_session(s, std::filesystem::current_path());
  s.system = "CUBI";
  s.cell = s.initial_cell = {5.43, 5.43, 5.43, 90, 90, 90};
  s.wavelengths.lambda = 1.540593;
  s.measured.file_name = "si.dif";
  s.selected = {pair(1, 1, 1, 28.481f), pair(2, 2, 0, 47.340f), pair(3, 1, 1, 56.159f),
                pair(4, 0, 0, 69.166f), pair(3, 3, 1, 76.412f)};
  s.refine_checked = {true, false, false, false, false, false, true, false};
}

void write_bytes(const char* name, const std::string& bytes) {
  std::ofstream f(name, std::ios::binary | std::ios::trunc);
  f << bytes;
}

std::string join_crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

// Random text made of what the files hold (digits, signs, points, blanks, line ends)
// with some stray bytes, so that the number readers get real work.
std::string random_text(std::mt19937& rng, size_t length) {
  static const std::string alphabet = "0123456789012345678901234567890.-+   \t\r\n\r\nEe,x\xE9";
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> any(0, 255);
  std::string s;
  for (size_t i = 0; i < length; ++i)
    s += i % 37 == 36 ? static_cast<char>(any(rng)) : alphabet[pick(rng)];
  return s;
}

// Runs the engine on the vornax.inp in the current folder: a FileError naming the file
// or a finished run. Returns the error text ("" for a run).
std::string run_on_disk(RecordingMessages& m) {
  try {
    (void)run_refinement(std::filesystem::current_path(), m);
    return "";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("vornax.inp"), std::string::npos) << e.what();
    return e.what();
  }
}

}  // namespace

TEST(RefinementInputReader, TruncatedGarbageAndRandomFiles) {
  ScratchFolder folder;
  WorkSession s;
  silicon_session(s);
  RecordingMessages m;
  const auto input = collect_refine_inputs(s, {"1.540593", "0"}, m);
  ASSERT_TRUE(input);
  const std::vector<std::string> good = refinement_input_text(*input).lines;
  ASSERT_EQ(good.size(), 15u);
  const auto started = std::chrono::steady_clock::now();

  // Cut after every line: the ten head lines are required; then as many observations
  // as are left.
  for (size_t n = 0; n <= good.size(); ++n) {
    SCOPED_TRACE("lines kept: " + std::to_string(n));
    write_bytes("vornax.inp", join_crlf({good.begin(), good.begin() + static_cast<long>(n)}));
    m.clear();
    const std::string error = run_on_disk(m);
    if (n < 10) {
      EXPECT_EQ(error, "Read error in vornax.inp, line " + std::to_string(n + 1));
    } else {
      EXPECT_EQ(error, "");
      if (n - 10 >= 3) {
        EXPECT_TRUE(m.empty());  // enough observations for two keys
      }
    }
  }

  // Garbage in place of each line: a head line that must hold numbers names its line;
  // the title and the system are texts; the observations end at the garbage.
  for (size_t k = 0; k < good.size(); ++k) {
    SCOPED_TRACE("garbage at line " + std::to_string(k + 1));
    auto lines = good;
    lines[k] = "#\xFF garbage 1.0";
    write_bytes("vornax.inp", join_crlf(lines));
    m.clear();
    const std::string error = run_on_disk(m);
    if (k >= 2 && k < 10)
      EXPECT_EQ(error, "Read error in vornax.inp, line " + std::to_string(k + 1));
    else
      EXPECT_EQ(error, "");
  }
  {  // a key with its value missing
    auto lines = good;
    lines[9] = "1.540593";
    write_bytes("vornax.inp", join_crlf(lines));
    EXPECT_EQ(run_on_disk(m), "Read error in vornax.inp, line 10");
  }

  // Cut inside a line, and random contents: an error or a run, nothing else.
  const std::string bytes = join_crlf(good);
  for (size_t cut = 0; cut < bytes.size(); cut += 13) {
    write_bytes("vornax.inp", bytes.substr(0, cut));
    m.clear();
    run_on_disk(m);
  }
  std::mt19937 rng(2024);
  std::uniform_int_distribution<size_t> where(0, bytes.size() - 1);
  for (int i = 0; i < 24; ++i) {
    std::string damaged = bytes;  // a few bytes of a good file changed
    const std::string noise = random_text(rng, 1 + static_cast<size_t>(i) % 4);
    for (char c : noise) damaged[where(rng)] = c;
    write_bytes("vornax.inp", i % 6 == 5 ? random_text(rng, 100 * static_cast<size_t>(i)) : damaged);
    m.clear();
    run_on_disk(m);
    EXPECT_LT(m.log.size(), 200u);
  }

  // Oversized: more observations than the engine holds are cut at 500.
  auto many = good;
  for (int i = 0; i < 600; ++i) many.push_back(good[10 + static_cast<size_t>(i) % 5]);
  write_bytes("vornax.inp", join_crlf(many));
  const auto big = load_refinement_problem("vornax.inp");
  EXPECT_EQ(big.count(), kMaxObservations);

  // A file that is missing altogether.
  std::filesystem::remove("vornax.inp");
  EXPECT_THROW(load_refinement_problem("vornax.inp"), FileError);

  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST(ReportReader, TruncatedGarbageAndRandomReports) {
  ScratchFolder folder;
  WorkSession s;
  silicon_session(s);
  RecordingMessages m;
  ASSERT_EQ(refine_pairs(s, {"1.540593", "0"}, m).status, RefineStatus::Refined);
  const auto good = read_text_lines("vornax.out");
  const int pairs = s.selected_count();
  const auto whole = read_report_results(good, pairs);
  ASSERT_TRUE(whole);
  size_t f = 0;
  while (good[f].rfind("Final values", 0) != 0) ++f;
  // Lines the reader needs: the heading, the values, the errors, the table.
  auto needed = [&](size_t k) {
    return k == f || k == f + 3 || k == f + 4 || (k >= f + 9 && k < f + 9 + static_cast<size_t>(pairs));
  };
  auto same = [&](const ReportResults& r) {
    EXPECT_EQ(r.cell.a, whole->cell.a);
    EXPECT_EQ(r.zero_shift, whole->zero_shift);
    EXPECT_EQ(r.errors, whole->errors);
    ASSERT_EQ(r.lines.size(), whole->lines.size());
    EXPECT_EQ(r.lines.back().two_theta_calc, whole->lines.back().two_theta_calc);
  };

  for (size_t n = 0; n <= good.size(); ++n) {
    SCOPED_TRACE("lines kept: " + std::to_string(n));
    const std::vector<std::string> cut(good.begin(), good.begin() + static_cast<long>(n));
    const auto r = read_report_results(cut, pairs);
    EXPECT_EQ(r.has_value(), n >= f + 9 + static_cast<size_t>(pairs));
    if (r) same(*r);
    excel_text(cut, pairs, ShiftMode::ConstantZeroShift);
  }
  for (size_t k = 0; k < good.size(); ++k) {
    SCOPED_TRACE("garbage at line " + std::to_string(k + 1));
    auto lines = good;
    lines[k] = "1.0 #garbage\xFF";
    const auto r = read_report_results(lines, pairs);
    EXPECT_EQ(r.has_value(), !needed(k));
    if (r) same(*r);
    const auto excel = excel_text(lines, pairs, ShiftMode::SampleEccentricity);
    ASSERT_GE(excel.size(), 6u);
    EXPECT_EQ(excel[0], lines[0] + "\t");
  }
  // More pairs asked for than the report holds; none at all; an empty report.
  EXPECT_FALSE(read_report_results(good, pairs + 1));
  ASSERT_TRUE(read_report_results(good, 0));
  EXPECT_FALSE(read_report_results({}, pairs));
  EXPECT_EQ(excel_text({}, pairs, ShiftMode::ConstantZeroShift).size(), 6u);

  std::mt19937 rng(99);
  for (int i = 0; i < 40; ++i) {
    std::vector<std::string> lines;
    for (int l = 0; l < 30; ++l) lines.push_back(random_text(rng, 10 + static_cast<size_t>(l) * 3));
    lines[10 + i % 15] = "Final values";  // so that the block reader runs on noise
    read_report_results(lines, pairs);
    excel_text(lines, pairs, ShiftMode::ConstantZeroShift);
  }
  // Oversized numbers keep their digits rather than overflow a field.
  auto huge = good;
  huge[f + 3] = "1e300 1e300 1e300 1e300 1e300 1e300 1e300 1e300 1e300";
  const auto excel = excel_text(huge, pairs, ShiftMode::ConstantZeroShift);
  EXPECT_GT(excel[8].size(), 9u * 300u);
}

// The export works from whatever vornax.out is on disk; a damaged one gives what can be
// read, and the session is left alone.
TEST(ReportReader, ExportOfADamagedReportLeavesTheSessionAlone) {
  ScratchFolder folder;
  WorkSession s;
  silicon_session(s);
  s.results.refined = true;
  s.results.cell = {1, 2, 3, 90, 90, 90};
  write_bytes("vornax.out", "VORNAX Version 3.  x\r\n\xFF\xFE garbage\r\n");
  RecordingMessages m;
  const auto lines = export_excel(s, m);
  ASSERT_TRUE(lines);
  EXPECT_EQ((*lines)[0], "VORNAX Version 3.  x\t");
  EXPECT_TRUE(std::filesystem::exists("Excel.txt"));
  EXPECT_TRUE(m.empty());
  EXPECT_TRUE(s.results.refined);
  EXPECT_EQ(s.results.cell.b, 2.0);
}

// A report that cannot be written: the system's message, and the results of the last
// good run stay as they were.
TEST(ReportReader, UnwritableReportKeepsThePreviousResults) {
  ScratchFolder folder;
  std::filesystem::create_directory("vornax.out");
  WorkSession s;
  silicon_session(s);
  s.results.refined = true;
  s.results.cell = {1, 2, 3, 90, 90, 90};
  s.results.zero_shift = 0.5;
  RecordingMessages m;
  const auto out = refine_pairs(s, {"1.540593", "0"}, m);
  EXPECT_EQ(out.status, RefineStatus::FileFailed);
  ASSERT_EQ(m.log.size(), 1u);
  EXPECT_EQ(m.log[0].first, RecordingMessages::Kind::Error);
  EXPECT_NE(m.log[0].second.find("vornax.out"), std::string::npos) << m.log[0].second;
  EXPECT_EQ(s.results.cell.b, 2.0);
  EXPECT_EQ(s.results.zero_shift, 0.5);
  EXPECT_TRUE(s.results.refined);
}
