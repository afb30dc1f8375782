// vornax-cli series on generated Cu Kα1/Kα2 patterns of known cell: no "ok" row far
// from the truth, the quality gates and the exit status, shards whose union is the
// whole run, RFC 4180 fields, the chain past a damaged pattern, σ(λ) as `refine
// --json` gives it, the in-memory run against the run through the files, and a CIF
// per row.
#include <gtest/gtest.h>
#include <gemmi/cif.hpp>
#include <gemmi/numb.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "commands/series.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using namespace vornax;
using refine_test::ScratchFolder;

namespace {

constexpr double kKa1 = 1.540593, kKa2 = 1.544427;

// A primitive cubic pattern (every h k l) at Cu Kα: each reflection a Kα1 line and a
// Kα2 line of half its height, Lorentzian of 0.03° half width, on 30 counts with
// counting noise, 2θ 15° to 105° by 0.01°. `max_n` keeps the reflections with
// h² + k² + l² up to it (a pattern of few lines).
void write_doublet_pattern(const std::string& name, double a, unsigned seed, int max_n = 1000) {
  std::vector<std::pair<double, double>> lines;
  for (int n = 1; n <= max_n && n < 200; ++n) {
    bool sum_of_squares = false;
    for (int h = 0; h * h <= n && !sum_of_squares; ++h)
      for (int k = 0; h * h + k * k <= n && !sum_of_squares; ++k) {
        const int l = static_cast<int>(std::lround(std::sqrt(n - h * h - k * k)));
        sum_of_squares = h * h + k * k + l * l == n;
      }
    if (!sum_of_squares) continue;
    for (const auto& [lambda, weight] : {std::pair{kKa1, 1.0}, std::pair{kKa2, 0.5}}) {
      const double x = lambda * std::sqrt(n) / (2 * a);
      if (x < 1) lines.push_back({2 * std::asin(x) * 180 / refine_test::kPi, weight * 1000 / (1 + 0.05 * n)});
    }
  }
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0, 1);
  std::ofstream f(name);
  for (int j = 0; j <= 9000; ++j) {
    const double t = 15 + 0.01 * j;
    double y = 30;
    for (const auto& [p, height] : lines) {
      const double d = (t - p) / 0.03;
      if (std::fabs(d) < 60) y += height / (1 + d * d);
    }
    f << format_fixed(t, 0, 2) << ' ' << format_fixed(std::max(0.0, y + std::sqrt(y) * gauss(rng)), 0, 2) << '\n';
  }
}

double known_cell(int index) { return 4.1569 + 0.0001 * index; }

std::string pattern_name(int i) {
  char name[64];
  std::snprintf(name, sizeof name, "scans/pattern_%03d.xy", i);
  return name;
}

void write_series(int count) {
  std::filesystem::create_directories("scans");
  for (int i = 1; i <= count; ++i) write_doublet_pattern(pattern_name(i), known_cell(i), 500u + unsigned(i));
}

vornax::testing::CliRun series(const std::string& args) { return vornax::testing::run_vornax_cli("series " + args); }

// The fields of a CSV line as RFC 4180 reads them: quoted fields may hold commas, and
// two quotes stand for one.
std::vector<std::string> csv_fields(const std::string& line) {
  std::vector<std::string> out{""};
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') out.back() += '"', ++i;
    else if (c == '"') quoted = !quoted;
    else if (c == ',' && !quoted) out.emplace_back();
    else out.back() += c;
  }
  return out;
}

std::vector<std::vector<std::string>> read_csv(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& line : read_text_lines(name)) rows.push_back(csv_fields(line));
  return rows;
}

size_t column(const std::vector<std::string>& header, const std::string& name) {
  const auto it = std::find(header.begin(), header.end(), name);
  EXPECT_NE(it, header.end()) << name;
  return static_cast<size_t>(it - header.begin());
}

const std::string kLab6 =
    "--system CUBI --group 'P m -3 m' --lambda 1.540593 --range 15 105 --refine a,shift ";

// Every gate open: what the pairing and the refinement alone give.
const char* const kNoGates =
    " --min-paired 0 --min-pairs 0 --min-m20 0 --min-fn 0 --max-shift 100 --max-rel-error 1";

}  // namespace

// Unchained, every pattern starts from a cell 0.12 % short. A Kα2 line handed to the
// pairing as a reflection of its own pulls the cell away with a small error; the rows
// must stay within 5 of their errors of the generating cell, with the gates and without.
TEST(SeriesKnownCells, NoOkRowFarFromTheTruth) {
  ScratchFolder folder;
  constexpr int kPatterns = 40;
  write_series(kPatterns);
  for (const std::string& gates : {std::string(), std::string(kNoGates)}) {
    SCOPED_TRACE(gates.empty() ? "default gates" : "no gates");
    const auto r = series("--profiles scans " + kLab6 +
                          "--cell 4.152 4.152 4.152 90 90 90 --tolerance 0.2 --jobs 2 --allow-suspect --force "
                          "--out table.csv" + gates);
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = read_csv("table.csv");
    ASSERT_EQ(rows.size(), size_t(kPatterns) + 1);
    const size_t a = column(rows[0], "a"), sa = column(rows[0], "sigma_a"), st = column(rows[0], "status");
    int ok = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
      if (rows[i][st] != "ok") continue;
      ++ok;
      const double truth = known_cell(std::stoi(rows[i][0]));
      EXPECT_LE(std::fabs(std::stod(rows[i][a]) - truth), 5 * std::stod(rows[i][sa]) + 1e-6)
          << rows[i][1] << " a = " << rows[i][a] << " ± " << rows[i][sa] << ", truth " << truth;
    }
    EXPECT_GE(ok, kPatterns * 9 / 10);  // the test must look at rows, not at suspects
  }
}

TEST(SeriesGates, EachGateNamesWhatIsWrong) {
  SeriesRow good;
  good.refined[0] = good.refined[6] = true;
  good.values = {4.1569, 4.1569, 4.1569, 90, 90, 90, 0.02, kKa1};
  good.errors = {0.0002, 0, 0, 0, 0, 0, 0.004, 0};
  good.pairs = 14;
  good.peaks_in_range = 16;
  good.converged = true;
  good.figures_valid = true;
  good.m20 = 150;
  good.f_n = 90;
  const SeriesGates gates;
  EXPECT_EQ(series_gate_failure(good, gates), std::nullopt);
  struct Case {
    const char* name;
    void (*spoil)(SeriesRow&);
    const char* reason;
  };
  const Case cases[] = {
      {"few pairs", [](SeriesRow& r) { r.pairs = 4, r.peaks_in_range = 4; }, "too few lines: 4 pairs"},
      {"few paired", [](SeriesRow& r) { r.pairs = 7, r.peaks_in_range = 16; }, "7 of 16 peaks paired"},
      {"no convergence", [](SeriesRow& r) { r.converged = false; }, "the refinement did not converge"},
      {"shift", [](SeriesRow& r) { r.values[6] = -0.62; }, "zero shift -0.6200 deg"},
      {"error", [](SeriesRow& r) { r.errors[0] = 0.005; }, "sigma(a) 0.005000 above 0.1 % of a"},
      {"no figures", [](SeriesRow& r) { r.figures_valid = false; }, "no figures of merit"},
      {"M(N)", [](SeriesRow& r) { r.m20 = 6.5; }, "M(N) 6.5 below 10"},
      {"F(N)", [](SeriesRow& r) { r.f_n = 3; }, "F(N) 3.0 below 10"},
  };
  for (const Case& c : cases) {
    SeriesRow row = good;
    c.spoil(row);
    const auto why = series_gate_failure(row, gates);
    ASSERT_TRUE(why.has_value()) << c.name;
    EXPECT_EQ(why->rfind(c.reason, 0), 0u) << c.name << ": " << *why;
    row.status = SeriesStatus::Suspect;
    row.message = *why;
    EXPECT_EQ(row.status_text(), "suspect: " + *why);
  }
}

TEST(SeriesGates, APatternOfTooFewLinesIsSuspectAndFailsTheRun) {
  ScratchFolder folder;
  write_series(2);
  write_doublet_pattern(pattern_name(3), known_cell(3), 9, 3);  // 100, 110, 111 only
  const std::string args = "--profiles scans " + kLab6 + "--cell 4.1569 4.1569 4.1569 90 90 90 --tolerance 0.1 ";
  const auto r = series(args + "--out table.csv --progress");
  EXPECT_EQ(r.code, 1) << r.err;
  const auto rows = read_csv("table.csv");
  ASSERT_EQ(rows.size(), 4u);
  const size_t st = column(rows[0], "status");
  EXPECT_EQ(rows[1][st], "ok");
  EXPECT_EQ(rows[2][st], "ok");
  EXPECT_EQ(rows[3][st].rfind("suspect: too few lines: 3 pairs", 0), 0u) << rows[3][st];
  EXPECT_NE(r.err.find("[3/3] pattern_003.xy a="), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" suspect: too few lines"), std::string::npos) << r.err;
  // Allowed, the same table and exit status 0; a gate lowered makes the row ok.
  EXPECT_EQ(series(args + "--out table.csv --force --allow-suspect").code, 0);
  EXPECT_EQ(series(args + "--out t2.csv --min-pairs 0 --min-paired 0").code, 1);  // 3 pairs < 2 keys + 3
  // Without --progress only the rows that are not ok are said.
  const auto quiet = series(args + "--out t3.csv --allow-suspect");
  EXPECT_EQ(quiet.err.find("[1/3]"), std::string::npos) << quiet.err;
  EXPECT_NE(quiet.err.find("[3/3] pattern_003.xy a="), std::string::npos) << quiet.err;
}

TEST(SeriesShards, TheUnionOfTheShardsIsTheWholeRun) {
  ScratchFolder folder;
  write_series(8);
  std::filesystem::create_directories("cif_all");
  std::filesystem::create_directories("cif_shards");
  const std::string args = "--profiles scans " + kLab6 + "--cell 4.1569 4.1569 4.1569 90 90 90 --tolerance 0.1 ";
  ASSERT_EQ(series(args + "--out whole.csv --cif cif_all").code, 0);
  const auto whole = read_csv("whole.csv");
  ASSERT_EQ(whole.size(), 9u);
  std::vector<std::vector<std::string>> merged;
  for (int shard = 0; shard < 3; ++shard) {
    const std::string out = "shard_" + std::to_string(shard) + ".csv";
    ASSERT_EQ(series(args + "--shard " + std::to_string(shard) + "/3 --cif cif_shards --out " + out).code, 0);
    const auto rows = read_csv(out);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[0], whole[0]);  // each shard has the header
    for (size_t i = 1; i < rows.size(); ++i) {
      // Pattern k (0-based) goes to shard k mod 3; the index is its place in the whole list.
      EXPECT_EQ((std::stoi(rows[i][0]) - 1) % 3, shard) << rows[i][1];
      merged.push_back(rows[i]);
    }
  }
  std::sort(merged.begin(), merged.end(),
            [](const auto& x, const auto& y) { return std::stoi(x[0]) < std::stoi(y[0]); });
  EXPECT_EQ(merged, std::vector<std::vector<std::string>>(whole.begin() + 1, whole.end()));
  // The same CIF files, one per pattern, whichever way the run was cut.
  for (int i = 1; i <= 8; ++i) {
    const std::string name = "pattern_" + std::string(i < 10 ? "00" : "0") + std::to_string(i) + ".cif";
    ASSERT_TRUE(std::filesystem::exists("cif_all/" + name)) << name;
    auto doc = gemmi::cif::read_file("cif_shards/" + name);
    EXPECT_EQ(doc.blocks.at(0).name, "pattern_" + std::string(i < 10 ? "00" : "0") + std::to_string(i));
    EXPECT_NEAR(gemmi::cif::as_number(*doc.blocks[0].find_value("_cell_length_a")),
                std::stod(whole[size_t(i)][2]), 1e-4);
  }
  // A shard outside its count, or a chained shard, is refused.
  EXPECT_EQ(series(args + "--shard 3/3 --out x.csv").code, 2);
  EXPECT_EQ(series(args + "--shard 0/2 --chain --out x.csv").code, 2);
}

TEST(SeriesCsv, FieldsAreQuotedAsSpreadsheetsExpect) {
  struct Case {
    const char* text;
    const char* field;
  };
  for (const Case& c : {Case{"pattern_001.xy", "pattern_001.xy"}, Case{"a,b.xy", "\"a,b.xy\""},
                        Case{"say \"hi\".xy", "\"say \"\"hi\"\".xy\""}, Case{"two\nlines", "\"two\nlines\""},
                        Case{"", ""}})
    EXPECT_EQ(csv_field(c.text), c.field) << c.text;

  ScratchFolder folder;
  std::filesystem::create_directories("scans");
  const std::string odd = "scans/run 1, \"hot\".xy";
  write_doublet_pattern(odd, known_cell(1), 3);
  const auto r = series("--profiles '" + odd + "' " + kLab6 +
                        "--cell 4.1569 4.1569 4.1569 90 90 90 --tolerance 0.1 --out table.csv");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto rows = read_csv("table.csv");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].size(), rows[0].size());
  EXPECT_EQ(rows[1][1], "run 1, \"hot\".xy");
  // The errors of every refined value in their own columns; new columns at the end.
  EXPECT_GT(std::stod(rows[1][column(rows[0], "sigma_a")]), 0);
  EXPECT_GT(std::stod(rows[1][column(rows[0], "sigma_shift")]), 0);
  EXPECT_EQ(column(rows[0], "status") + 1, column(rows[0], "peaks_in_range"));
  EXPECT_EQ(rows[1][column(rows[0], "converged")], "yes");
}

// Chained, the cell grows 0.0015 Å a pattern: from the first cell the last patterns
// would pair badly, so only a chain that goes on past the damaged pattern 5 from the
// cell of pattern 4 refines them.
TEST(SeriesChain, ADamagedPatternInTheMiddleKeepsTheChainGoing) {
  ScratchFolder folder;
  std::filesystem::create_directories("scans");
  auto cell = [](int i) { return 4.1569 + 0.0015 * (i - 1); };
  for (int i = 1; i <= 9; ++i) write_doublet_pattern(pattern_name(i), cell(i), 40u + unsigned(i));
  std::ofstream(pattern_name(5), std::ios::trunc) << "2theta counts\n10 abc\n";
  const std::string args = "--profiles scans " + kLab6 + "--cell 4.1569 4.1569 4.1569 90 90 90 --tolerance 0.12 ";
  const auto r = series(args + "--chain --out chained.csv --allow-suspect");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto rows = read_csv("chained.csv");
  ASSERT_EQ(rows.size(), 10u);
  const size_t a = column(rows[0], "a"), sa = column(rows[0], "sigma_a"), st = column(rows[0], "status");
  for (int i = 1; i <= 9; ++i) {
    const auto& row = rows[size_t(i)];
    if (i == 5) {
      EXPECT_EQ(row[st].rfind("failed: ", 0), 0u) << row[st];
      continue;
    }
    EXPECT_EQ(row[st], "ok") << i;
    EXPECT_LE(std::fabs(std::stod(row[a]) - cell(i)), 5 * std::stod(row[sa]) + 1e-6) << i;
  }
  // The same patterns unchained, all from the first cell: the far ones do not refine
  // as ok, which is what makes the chain's rows worth checking.
  series(args + "--out free.csv --allow-suspect");
  const auto free = read_csv("free.csv");
  ASSERT_EQ(free.size(), 10u);
  EXPECT_NE(free[9][st], "ok");
}

// λ refined with the cell held: the series row and `refine --json` on the peaks that
// the same search keeps give the same σ(λ).
TEST(SeriesLambda, SigmaOfTheWavelengthIsThatOfRefineJson) {
  ScratchFolder folder;
  std::filesystem::create_directories("scans");
  write_doublet_pattern(pattern_name(1), 4.1569, 77);
  const std::string cell = "--system CUBI --group 'P m -3 m' --cell 4.1569 4.1569 4.1569 90 90 90 "
                           "--lambda 1.540593 --range 15 105 --tolerance 0.1 --refine lambda,shift";
  ASSERT_EQ(series("--profiles scans " + cell + " --out table.csv --cif .").code, 0);
  ASSERT_EQ(vornax::testing::run_vornax_cli("search " + pattern_name(1) + " --lambda 1.540593 --keep 1,2 --out peaks.txt").code, 0);
  const auto json = vornax::testing::run_vornax_cli("refine --peaks peaks.txt " + cell + " --json");
  ASSERT_EQ(json.code, 0) << json.err;
  const auto j = nlohmann::json::parse(json.out);
  const double sigma = j["values"]["lambda"]["error"];
  ASSERT_GT(sigma, 0);
  const auto rows = read_csv("table.csv");
  ASSERT_EQ(rows.size(), 2u);
  // The peak file holds 6 decimals, the series the search's own values: equal to the
  // CSV's last digit.
  EXPECT_NEAR(std::stod(rows[1][column(rows[0], "sigma_lambda")]), sigma, 1.01e-6);
  EXPECT_NEAR(std::stod(rows[1][column(rows[0], "lambda")]), double(j["values"]["lambda"]["value"]), 2e-6);
  const auto doc = gemmi::cif::read_file("pattern_001.cif");
  EXPECT_NEAR(gemmi::cif::as_number(*doc.blocks.at(0).find_value("_cell_measurement_wavelength")),
              double(j["values"]["lambda"]["value"]), sigma);
}

// In memory the numbers are those of the run through vornax.inp and vornax.out, which
// --files keeps per pattern; without it no file is left in the work folder.
TEST(SeriesFiles, TheRunInMemoryGivesTheNumbersOfTheRunThroughFiles) {
  ScratchFolder folder;
  write_series(4);
  const std::string args = "--profiles scans " + kLab6 + "--cell 4.1569 4.1569 4.1569 90 90 90 --tolerance 0.1 ";
  std::filesystem::create_directories("mem");
  std::filesystem::create_directories("kept");
  ASSERT_EQ(series(args + "--work mem --jobs 2 --out memory.csv").code, 0);
  ASSERT_EQ(series(args + "--work kept --files --out files.csv").code, 0);
  EXPECT_EQ(read_csv("memory.csv"), read_csv("files.csv"));
  EXPECT_TRUE(std::filesystem::is_empty("mem"));
  for (int i = 1; i <= 4; ++i) {
    const std::filesystem::path run = "kept/000" + std::to_string(i) + "_pattern_00" + std::to_string(i);
    for (const char* name : {"vornax.inp", "vornax.out", "mouchard"})
      EXPECT_TRUE(std::filesystem::exists(run / name)) << run / name;
  }
}

// --fit: each pattern's lines fitted at Kα1 and weighed by their errors. Every row is ok,
// within three of its errors of its generating cell, and its errors are smaller than
// those of the searched positions.
TEST(SeriesFit, FittedRowsComeWithinTheirErrorsOfTheTruth) {
  ScratchFolder folder;
  constexpr int kPatterns = 4;
  write_series(kPatterns);
  const std::string common = "--profiles scans " + kLab6 +
                             "--cell 4.156 4.156 4.156 90 90 90 --tolerance 0.2 --force --allow-suspect";
  const auto plain = series(common + " --out plain.csv");
  const auto fitted = series(common + " --fit --out fitted.csv");
  ASSERT_EQ(plain.code, 0) << plain.err;
  ASSERT_EQ(fitted.code, 0) << fitted.err;
  const auto p = read_csv("plain.csv"), f = read_csv("fitted.csv");
  ASSERT_EQ(f.size(), size_t(kPatterns) + 1);
  const size_t a = column(f[0], "a"), sa = column(f[0], "sigma_a"), st = column(f[0], "status");
  for (size_t i = 1; i < f.size(); ++i) {
    const double truth = known_cell(std::stoi(f[i][0]));
    EXPECT_EQ(f[i][st], "ok") << f[i][1];
    EXPECT_LE(std::fabs(std::stod(f[i][a]) - truth), 3 * std::stod(f[i][sa])) << f[i][1] << " a = " << f[i][a];
    EXPECT_LT(std::stod(f[i][sa]), std::stod(p[i][sa])) << f[i][1];
  }
  EXPECT_EQ(series(common + " --split --out x.csv").code, 2);
}
