// The refinement command around the engine: collecting the inputs, vornax.inp,
// vornax.out line by line and read back, the result grids and boxes, using and
// restoring parameters, the export, and the default keys.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>

#include "core/cell_entry.hpp"
#include "core/format.hpp"
#include "core/messages.hpp"
#include "core/text_file.hpp"
#include "commands/refine_tab.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using namespace refine_test;

namespace {

SelectedPair pair(int h, int k, int l, float obs, float calc) {
  SelectedPair p;
  p.h = static_cast<int32_t>(h);
  p.k = static_cast<int32_t>(k);
  p.l = static_cast<int32_t>(l);
  p.two_theta_obs = obs;
  p.two_theta_calc = calc;
  return p;
}

// Five silicon peaks (a = 5.431194, shift +0.04, rounded to 0.001°), started from
// a = 5.43 with a typed shift of 0.01; a and the shift keyed.
void small_silicon_session(WorkSession& s) {
  reset_session(s, std::filesystem::current_path());
  s.system = "CUBI";
  s.cell = s.initial_cell = {5.43, 5.43, 5.43, 90, 90, 90};
  s.wavelengths.lambda = 1.540593;
  s.measured.file_name = "C:\\data\\si.dif";
  s.selected = {pair(1, 1, 1, 28.481f, 28.447f), pair(2, 2, 0, 47.340f, 47.311f),
                pair(3, 1, 1, 56.159f, 56.133f), pair(4, 0, 0, 69.166f, 69.144f),
                pair(3, 3, 1, 76.412f, 76.392f)};
  s.refine_checked = {true, false, false, false, false, false, true, false};
}

}  // namespace

TEST(CollectInputs, RefusesWithTheProgramsMessagesAndWritesNothing) {
  struct Case {
    const char* name;
    int pairs;
    std::string lambda, shift;
    std::array<bool, 8> keys;
    const char* message;
  };
  const Case cases[] = {
      {"no pairs", 0, "1.5406", "0", {true}, "No selected reflections!"},
      {"lambda not a number", 3, "1.54a", "0", {true}, "Error on Lambda!"},
      {"lambda zero", 3, "0", "0", {true}, "Error on Lambda!"},
      {"lambda empty", 3, "", "0", {true}, "Error on Lambda!"},
      {"lambda negative", 3, "-1.5406", "0", {true}, "Error on Lambda!"},
      {"lambda two points", 3, "1.54.06", "0", {true}, "Error on Lambda!"},
      {"lambda overflowing", 3, "1e400", "0", {true}, "Error on Lambda!"},
      {"lambda beyond single precision", 3, std::string(60, '9'), "0", {true}, "Error on Lambda!"},
      {"lambda nan", 3, "nan", "0", {true}, "Error on Lambda!"},
      {"shift not a number", 3, "1.5406", "x", {true}, "Error on Angular Shift!"},
      {"shift inf", 3, "1.5406", "inf", {true}, "Error on Angular Shift!"},
      {"shift beyond single precision", 3, "1.5406", "-1e39", {true}, "Error on Angular Shift!"},
      {"shift garbage", 3, "1.5406", std::string(5000, '#'), {true}, "Error on Angular Shift!"},
      {"too few pairs", 3, "1.5406", "0", {true, false, false, false, false, false, true, true},
       "Nb of selected reflections too low"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    WorkSession s;
    small_silicon_session(s);
    s.selected.resize(static_cast<size_t>(c.pairs));
    s.refine_checked = c.keys;
    RecordingMessages m;
    const auto out = refine_pairs(s, {c.lambda, c.shift}, m);
    EXPECT_EQ(out.status, RefineStatus::NotStarted);
    EXPECT_EQ(m.texts(), std::vector<std::string>{c.message});
    EXPECT_FALSE(std::filesystem::exists("vornax.inp"));
    EXPECT_FALSE(s.results.refined);
  }
  // Three pairs are enough for two keys.
  WorkSession s;
  small_silicon_session(s);
  s.selected.resize(3);
  RecordingMessages m;
  EXPECT_TRUE(collect_refine_inputs(s, {"1.5406", " 0.01"}, m));
  EXPECT_EQ(s.results.npar, 2);
  EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.5406);
}

TEST(CollectInputs, IndicesThatDoNotFitTheInputFieldsAreRefused) {
  // Each index has four characters in the input file: -999 .. 999 fit; 39954 used to
  // be kept in 16 bits and written as -25582.
  struct Case {
    int h, k, l;
    bool refused;
  };
  const Case cases[] = {{0, 0, 39954, true},  {1000, 0, 0, true},  {0, -1000, 0, true},
                        {0, 0, -70000, true}, {999, -999, 5, false}, {-999, 0, 999, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.h) + " " + std::to_string(c.k) + " " + std::to_string(c.l));
    ScratchFolder folder;
    WorkSession s;
    small_silicon_session(s);
    s.selected[3].h = c.h;
    s.selected[3].k = c.k;
    s.selected[3].l = c.l;
    EXPECT_EQ(s.selected[3].l, c.l);  // kept whole
    RecordingMessages m;
    const bool collected = collect_refine_inputs(s, {"1.540593", "0.01"}, m).has_value();
    EXPECT_EQ(collected, !c.refused);
    if (c.refused) {
      ASSERT_EQ(m.texts().size(), 1u);
      const std::string text = m.texts()[0];
      EXPECT_EQ(text.rfind("Reflection 4 (" + std::to_string(c.h) + " " + std::to_string(c.k) +
                               " " + std::to_string(c.l) + "): indices must lie within -999 .. 999",
                           0),
                0u)
          << text;
      const auto out = refine_pairs(s, {"1.540593", "0.01"}, m);
      EXPECT_EQ(out.status, RefineStatus::NotStarted);
      EXPECT_FALSE(std::filesystem::exists("vornax.inp"));
    } else {
      EXPECT_TRUE(m.texts().empty());
    }
  }
}

TEST(RefinementInputFile, KeysShiftModeAndTheUnroundedWavelength) {
  WorkSession s;
  small_silicon_session(s);
  RecordingMessages m;
  struct Case {
    ShiftMode mode;
    bool shift_checked;
    const char* shift_line;
  };
  const Case cases[] = {{ShiftMode::ConstantZeroShift, true, "  0.0100  1.0000"},
                        {ShiftMode::SampleEccentricity, true, "  0.0100  2.0000"},
                        {ShiftMode::SampleEccentricity, false, "  0.0100  0.0000"},
                        {ShiftMode::ConstantZeroShift, false, "  0.0100  0.0000"}};
  for (const auto& c : cases) {
    s.shift_mode = c.mode;
    s.refine_checked[6] = c.shift_checked;
    const auto in = collect_refine_inputs(s, {"1.540562", "0.01"}, m);
    ASSERT_TRUE(in);
    const auto lines = refinement_input_text(*in).lines;
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[8], c.shift_line);
    EXPECT_EQ(lines[9], "1.540562  0.0000");  // not rounded to 1.5406
  }
  // A box still showing the session's wavelength as 8:5 stands for it unrounded.
  s.wavelengths.lambda = 1.540593;
  auto kept = collect_refine_inputs(s, {" 1.54059", "0.01"}, m);
  EXPECT_EQ(refinement_input_text(*kept).lines[9], "1.540593  0.0000");
  kept = collect_refine_inputs(s, {"1.54060", "0.01"}, m);
  EXPECT_EQ(refinement_input_text(*kept).lines[9], "1.540600  0.0000");
  EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.5406);

  const auto in = collect_refine_inputs(s, {"1.540562", "0.01"}, m);
  const auto lines = refinement_input_text(*in).lines;
  EXPECT_EQ(lines[0], "si.dif");
  EXPECT_EQ(lines[1], "CUBI");
  EXPECT_EQ(lines[2], "  5.4300  1.0000");
  EXPECT_EQ(lines[3], "  5.4300  0.0000");
  EXPECT_EQ(lines[5], " 90.0000  0.0000");
  EXPECT_EQ(lines[10], "   1   1   1   28.4810");
  EXPECT_EQ(lines[14], "   3   3   1   76.4120");
  EXPECT_TRUE(m.empty());
}

TEST(Report, VornaxOutLineByLine) {
  ScratchFolder folder;
  WorkSession s;
  small_silicon_session(s);
  RecordingMessages m;
  const auto out = refine_pairs(s, {"1.540593", "0.01"}, m);
  ASSERT_EQ(out.status, RefineStatus::Refined);
  const std::vector<std::string> expected = {
      "",  // date line, checked below
      "----------------------------------------------------------------------",
      "",
      "si.dif",
      "",
      "Initial values    : (Refinement keys on 2nd line)",
      "--------------    :",
      "  Zero    Lambda      a       b       c      alpha  beta   gamma   volume",
      "   0.010 1.54059   5.4300   5.4300   5.4300  90.00  90.00  90.00    160.10",
      "   1      0         1        0        0        0      0      0",
      "",
      "    H    K    L    2Th(obs) 2Th_obs-shift 2Th(Calc)    diff.",
      "",
      "    1    1    1    28.4810      28.4710    28.4473     0.0237",
      "    2    2    0    47.3400      47.3300    47.3113     0.0187",
      "    3    1    1    56.1590      56.1490    56.1328     0.0162",
      "    4    0    0    69.1660      69.1560    69.1435     0.0125",
      "    3    3    1    76.4120      76.4020    76.3916     0.0104",
      "",
      "Sqrt(Sum(2Th O-C)**2)/(Nref-Npar)) : 0.0219",
      "Sqrt(Sum(2Th O-C)**2)/Nref       ) : 0.0170",
      "",
      "Final values      : (Standard errors on 2nd line)",
      "------------",
      "  Zero    Lambda      a       b       c      alpha  beta   gamma   volume",
      "   0.040 1.54059   5.4312   5.4312   5.4312  90.00  90.00  90.00    160.21",
      // σ(V) = 3a²σ(a): b and c move with a in a cubic cell.
      "  0.0004 0.00000   0.0000   0.0000   0.0000   0.000  0.000  0.000    0.003",
      "",
      "",
      "    H    K    L    2Th(obs) 2Th_obs-shift 2Th(Calc)    diff.",
      "",
      "    1    1    1    28.4810      28.4412    28.4410     0.0002",
      "    2    2    0    47.3400      47.3002    47.3004    -0.0002",
      "    3    1    1    56.1590      56.1192    56.1195    -0.0003",
      "    4    0    0    69.1660      69.1262    69.1263    -0.0001",
      "    3    3    1    76.4120      76.3722    76.3720     0.0002",
      "",
      "Sqrt(Sum(2Th O-C)**2)/(Nref-Npar)) : 0.0003",
      "Sqrt(Sum(2Th O-C)**2)/Nref       ) : 0.0002",
  };
  const auto lines = read_text_lines("vornax.out");
  ASSERT_EQ(lines.size(), expected.size());
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(VORNAX Version 3\.  \d\d/\d\d/\d{4} \d\d:\d\d:\d\d)")))
      << lines[0];
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;

  // The session keeps the engine's own values, not the report's rounded ones.
  const auto& r = s.results;
  const auto& p = out.run.problem;
  EXPECT_TRUE(r.refined);
  EXPECT_DOUBLE_EQ(r.cell.a, p.direct.a);
  EXPECT_NE(r.cell.a, 5.4312);  // what the report rounds it to
  EXPECT_DOUBLE_EQ(r.zero_shift, p.P[kSlotShift] * kThetaRadToTwoThetaDeg);
  EXPECT_DOUBLE_EQ(r.lambda, 1.540593);  // fixed, and typed with six decimals
  EXPECT_DOUBLE_EQ(r.errors[index_of(RefinedQuantity::Shift)], p.E[kSlotShift] * kThetaRadToTwoThetaDeg);
  EXPECT_NEAR(r.volume_refined, 160.21, 0.005);
  EXPECT_NEAR(r.volume_initial, 160.103, 0.001);
  // Each pair's corrected angle is the engine's: observed minus the refined shift.
  EXPECT_NEAR(r.obs_shifted[4], 76.412 - r.zero_shift, 1e-5);
  EXPECT_FLOAT_EQ(s.selected[4].two_theta_obs_shifted, static_cast<float>(r.obs_shifted[4]));

  // The grids and boxes show those values: the difference column and the deviation
  // are the engine's residuals, as the report's table prints them.
  const auto after = after_refinement_grid(s);
  EXPECT_EQ(after.row_count(), 25);
  EXPECT_EQ(after.rows[0], (std::vector<std::string>{"No.", "h k l", "2TObs-shift", "2TCalc", "Dif."}));
  double sum = 0;
  for (size_t i = 0; i < p.obs.size(); ++i) {
    const double diff = (p.obs[i].theta_obs - p.obs[i].theta_calc) * kThetaRadToTwoThetaDeg;
    EXPECT_EQ(after.rows[i + 1][4], format_fixed(diff, 8, 4)) << i;
    sum += diff * diff;
  }
  EXPECT_EQ(deviation_after_text(s), format_fixed(std::sqrt(sum / p.obs.size()), 8, 5));
  const auto boxes = result_box_texts(s);
  EXPECT_EQ(boxes.refined[kRowA],
            format_fixed(p.direct.a, 9, decimals_for_error(r.errors[index_of(RefinedQuantity::A)], 4)));
  EXPECT_EQ(boxes.refined[kRowShift], format_fixed(r.zero_shift, 8, 6));
  EXPECT_EQ(boxes.refined[kRowVolume].size(), 12u);
  // The "Before refinement" grid as filled during the run: corrected angles unset.
  EXPECT_EQ(out.before_grid.row_count(), kBeforeGridRows);
  EXPECT_EQ(out.before_grid.rows[1],
            (std::vector<std::string>{" 1", "  1  1  1", "  28.481", "  28.481", "  28.447", "  0.0340"}));
  EXPECT_EQ(out.before_deviation, " 0.02667");
}

TEST(Report, ReaderFindsTheFinalBlockAfterTheWavelengthWarning) {
  RefinementProblem p;
  p.title = "t";
  p.direct = {5, 5, 5, 90, 90, 90};
  direct_to_reciprocal(p);
  p.P[kSlotHalfLambda] = 0.77;
  p.obs = {{1, 0, 0, 0.3, 0.29}, {1, 1, 0, 0.4, 0.41}};
  TextFile f;
  report_initial_part(f, p, "01/01/2000 00:00:00");
  report_observation_table(f, p);
  p.E = {0.001, 0, 0, 0, 0, 0, 0, 0};
  const size_t initial_size = f.lines.size();
  report_final_part(f, p, true, 2e-5, 0.5);
  const std::vector<std::string> warning = {
      "", "", "Warning", "-------", "",
      "Refining both the wavelength and the cell dimensions at the same time",
      "is dangerous because these parameters are strongly correlated.", "",
      "It is advisable to refine the wavelength only with a well known sample", "",
      "Final values      : (Standard errors on 2nd line)", "------------"};
  ASSERT_GT(f.lines.size(), initial_size + warning.size());
  EXPECT_EQ(std::vector<std::string>(f.lines.begin() + static_cast<long>(initial_size),
                                     f.lines.begin() + static_cast<long>(initial_size + warning.size())),
            warning);
  const auto r = read_report_results(f.lines, 2);
  ASSERT_TRUE(r);
  EXPECT_DOUBLE_EQ(r->lambda, 1.54);
  EXPECT_DOUBLE_EQ(r->cell.c, 5.0);
  EXPECT_DOUBLE_EQ(r->errors[index_of(RefinedQuantity::Lambda)], 0.00004);
  EXPECT_DOUBLE_EQ(r->errors[index_of(RefinedQuantity::A)], 0.001);
  ASSERT_EQ(r->lines.size(), 2u);
  EXPECT_EQ(r->lines[1].k, 1);
  EXPECT_NEAR(r->lines[1].two_theta_calc, 0.41 * kThetaRadToTwoThetaDeg, 1e-4);
  // A title holding the words that open the final block does not mislead the reader.
  p.title = "Final values 1 2 3 4 5 6 7 8";
  TextFile titled;
  report_initial_part(titled, p, "x");
  report_observation_table(titled, p);
  report_final_part(titled, p, false, 0, 0.5);
  const auto t = read_report_results(titled.lines, 2);
  ASSERT_TRUE(t);
  EXPECT_DOUBLE_EQ(t->cell.a, 5.0);
  EXPECT_EQ(excel_text(titled.lines, 2, ShiftMode::ConstantZeroShift)[6],
            "Final values      : (Standard errors on 2nd line)\t");
  // A report that ends after its initial part has nothing to read.
  TextFile initial;
  report_initial_part(initial, p, "x");
  EXPECT_FALSE(read_report_results(initial.lines, 2));
}

TEST(ResultGrids, ThetaModeAndRowCounts) {
  WorkSession s;
  small_silicon_session(s);
  s.angle_mode = AngleMode::Theta;
  s.results.npar = 2;
  // Before any refinement the "After refinement" grid has its header and no rows.
  EXPECT_EQ(after_refinement_grid(s).rows[1][0], "");
  s.results.refined = true;
  s.selected[0].two_theta_obs_shifted = 28.446f;
  s.selected[0].theta_calc_refined = 14.2f;
  auto before = before_refinement_grid(s);
  EXPECT_EQ(before.rows[0], (std::vector<std::string>{"Nb.", "h   k   l", "T Obs", "TObs-shift", "T Calc", "Diff."}));
  // The pairs as they stood before the run, as its deviation box counts them: the
  // observed angle, not the one corrected by the refined shift; building the grid
  // changes nothing in the session.
  EXPECT_EQ(before.rows[1][3], before.rows[1][2]);
  EXPECT_EQ(before.rows[2][3], "  23.670");
  EXPECT_EQ(s.selected[1].two_theta_obs_shifted, 0.0f);
  EXPECT_EQ(before.rows[6][0], "");
  const auto after = after_refinement_grid(s);
  EXPECT_EQ(after.rows[0][2], "TObs-shift");
  EXPECT_EQ(after.rows[1][3], "  14.200");
  EXPECT_EQ(after.rows[1][4], "  0.0230");  // 28.446 / 2 - 14.2

  // More pairs than rows: the grids grow rather than hide pairs.
  s.selected.resize(130, s.selected[0]);
  EXPECT_EQ(before_refinement_grid(s).row_count(), 131);
  EXPECT_EQ(after_refinement_grid(s).row_count(), 131);

  // The deviation boxes stay empty without a degree of freedom or a refinement.
  s.selected.resize(2);
  EXPECT_EQ(deviation_before_text(s), "");
  s.selected.resize(3);
  EXPECT_FALSE(deviation_before_text(s).empty());
  EXPECT_FALSE(deviation_after_text(s).empty());
  s.results.refined = false;
  EXPECT_EQ(deviation_after_text(s), "");
}

TEST(ResultBoxes, ThetaModeHalvesTheRefinedShiftOnly) {
  WorkSession s;
  s.results.zero_shift = 0.04;
  s.results.errors[index_of(RefinedQuantity::Shift)] = 0.0004;
  s.results.cell = {5.4312, 5.4312, 5.4312, 90, 90, 90};
  s.results.lambda = 1.540593;
  s.results.volume_initial = 160.1;
  s.results.volume_error = 0.0012;
  s.angle_mode = AngleMode::Theta;
  const auto b = result_box_texts(s);
  EXPECT_EQ(b.refined[kRowShift], "0.020000");
  EXPECT_EQ(b.sigmas[kRowShift], "0.000400");
  EXPECT_EQ(b.refined[kRowAlpha], "  90.000");
  EXPECT_EQ(b.refined[kRowLambda], " 1.54059");
  EXPECT_EQ(b.sigmas[kRowVolume], "      0.0012");
  EXPECT_EQ(b.initial_volume, "      160.10");
}

// Each refined value is shown to the decimal of its error's second significant digit,
// never with fewer decimals than the box's own; worked by hand.
TEST(ResultBoxes, RefinedValuesTakeTheDecimalsOfTheirErrors) {
  struct Case {
    RefinedQuantity q;
    double value, error;
    const char* refined;
    const char* sigma;
  } cases[] = {
      {RefinedQuantity::A, 4.158301234, 9e-4, "  4.15830", " 0.00090"},
      {RefinedQuantity::A, 4.158301234, 3e-5, " 4.158301", "0.000030"},
      {RefinedQuantity::A, 4.158301234, 0.0123, "   4.1583", "  0.0123"},
      {RefinedQuantity::A, 4.158301234, 0, "   4.1583", "  0.0000"},
      {RefinedQuantity::C, 12.3456789, 0.00046, " 12.34568", " 0.00046"},
      {RefinedQuantity::Beta, 101.123456, 0.0021, "101.1235", "  0.0021"},
      {RefinedQuantity::Beta, 101.123456, 0.03, " 101.123", "   0.030"},
      {RefinedQuantity::Shift, 0.0412345678, 0.00034, "0.041235", "0.000340"},
      {RefinedQuantity::Shift, 0.0412345678, 2.5e-7, "0.04123457", "0.00000025"},
      {RefinedQuantity::Lambda, 1.5405931234, 2e-6, "1.5405931", "0.0000020"},
  };
  for (const Case& c : cases) {
    WorkSession s;
    s.results.cell = {1, 1, 1, 90, 90, 90};
    s.results.lambda = 1.5;
    const size_t i = index_of(c.q);
    if (i < 6) {
      double* fields[] = {&s.results.cell.a, &s.results.cell.b, &s.results.cell.c,
                          &s.results.cell.alpha, &s.results.cell.beta, &s.results.cell.gamma};
      *fields[i] = c.value;
    } else if (c.q == RefinedQuantity::Shift) {
      s.results.zero_shift = c.value;
    } else {
      s.results.lambda = c.value;
    }
    s.results.errors[i] = c.error;
    const auto b = result_box_texts(s);
    EXPECT_EQ(b.refined[i], c.refined) << c.value << " +- " << c.error;
    EXPECT_EQ(b.sigmas[i], c.sigma) << c.value << " +- " << c.error;
  }
  // Lengths and angles the system ties to a and alpha are shown to their decimal.
  struct Tie {
    const char* system;
    std::array<const char*, 6> refined;
  } ties[] = {{"CUBI", {"  4.15830", "  4.15830", "  4.15830", "  90.000", "  90.000", "  90.000"}},
              {"TETR", {"  4.15830", "  4.15830", "   4.1583", "  90.000", "  90.000", "  90.000"}},
              {"RHOM", {"  4.15830", "  4.15830", "  4.15830", " 60.1235", " 60.1235", " 60.1235"}},
              {"ORTH", {"  4.15830", "   4.1583", "   4.1583", "  90.000", "  90.000", "  90.000"}}};
  for (const Tie& t : ties) {
    WorkSession s;
    s.system = t.system;
    const bool rhombo = std::string_view(t.system) == "RHOM";
    const double angle = rhombo ? 60.123456 : 90;
    s.results.cell = {4.158301234, 4.158301234, 4.158301234, angle, angle, angle};
    s.results.errors[index_of(RefinedQuantity::A)] = 9e-4;
    if (rhombo) s.results.errors[index_of(RefinedQuantity::Alpha)] = 0.0021;
    const auto b = result_box_texts(s);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(b.refined[i], t.refined[i]) << t.system << " " << i;
  }

  // The volume likewise: 12:2 unless its error asks for more.
  WorkSession s;
  s.results.volume_refined = 160.2123456;
  s.results.volume_error = 0.0012;
  EXPECT_EQ(result_box_texts(s).refined[kRowVolume], "    160.2123");
  s.results.volume_error = 0.6;
  EXPECT_EQ(result_box_texts(s).refined[kRowVolume], "      160.21");
}

// The summary under the report: the refined quantities only (a non-zero error), each
// to its error's second significant digit, and the volume.
TEST(ResultBoxes, SummaryOfTheRefinedValuesForTheReportViewer) {
  WorkSession s;
  EXPECT_TRUE(refined_value_summary(s).empty());
  s.results.refined = true;
  s.results.cell = {4.158301234, 4.158301234, 7.0123456, 90, 90, 120};
  s.results.errors[index_of(RefinedQuantity::A)] = 9e-4;
  s.results.errors[index_of(RefinedQuantity::C)] = 3.4e-5;
  s.results.zero_shift = 0.0412;
  s.results.errors[index_of(RefinedQuantity::Shift)] = 0.0034;
  s.results.volume_refined = 105.0321;
  s.results.volume_error = 0.012;
  const std::vector<std::string> expected = {
      "Refined values (standard errors in parentheses)",
      "a             = 4.15830(90)",
      "c             = 7.012346(34)",
      "zero (2Theta) = 0.0412(34)",
      "volume        = 105.032(12)",
  };
  EXPECT_EQ(refined_value_summary(s), expected);
  s.shift_mode = ShiftMode::SampleEccentricity;
  EXPECT_EQ(refined_value_summary(s)[3], "e/R (deg)     = 0.0412(34)");
}

TEST(ParameterExchange, UseRefinedValuesAndRestore) {
  for (ShiftMode mode : {ShiftMode::ConstantZeroShift, ShiftMode::SampleEccentricity}) {
    WorkSession s;
    small_silicon_session(s);
    s.shift_mode = mode;
    s.measured.peaks = {{28.481, 28.481, 100, 0}, {47.34, 47.34, 60, 0}};
    s.results.refined = true;
    // The engine refined the shift in the mode chosen (a fixed shift would be a
    // constant in either mode).
    s.results.eccentricity = mode == ShiftMode::SampleEccentricity;
    s.results.cell = {5.4312, 5.4312, 5.4312, 90, 90, 90};
    s.results.zero_shift = 0.04;
    s.results.lambda = 1.54056;

    const auto x = adopt_refined_values(s);
    EXPECT_TRUE(x.done);
    EXPECT_EQ(x.current_lambda_text, "1.54056");
    EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.54056);
    EXPECT_DOUBLE_EQ(s.cell.a, 5.4312);
    EXPECT_DOUBLE_EQ(s.refined_shift, 0.04);
    const double corr = mode == ShiftMode::SampleEccentricity
                            ? 0.04 * std::cos(47.34 * kTwoThetaDegToThetaRad) : 0.04;
    EXPECT_DOUBLE_EQ(s.measured.peaks[1].two_theta, 47.34 - corr);
    EXPECT_DOUBLE_EQ(s.measured.peaks[1].two_theta_read, 47.34);
    EXPECT_TRUE(s.selected.empty());
    // With nothing selected there is nothing to use.
    EXPECT_FALSE(adopt_refined_values(s).done);

    s.measured.zero_offset = 0.0;
    const auto y = restore_initial_cell(s);
    EXPECT_TRUE(y.done);
    EXPECT_DOUBLE_EQ(s.cell.a, 5.43);
    EXPECT_EQ(s.refined_shift, 0.0);
    EXPECT_DOUBLE_EQ(s.measured.peaks[1].two_theta, 47.34);
    EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.54056);  // the wavelength stays
  }
}

// Values count as adopted once used or restored: a second "use" (after pairing by hand,
// say) would correct the peaks twice, and a pairing that was never refined has no
// refined values to use (they would be a cell of zeros).
TEST(ParameterExchange, OnlyRefinedValuesAreUsedAndOnlyOnce) {
  WorkSession s;
  small_silicon_session(s);
  s.measured.peaks = {{28.481, 28.481, 100, 0}};
  const auto pairs = s.selected;
  const CellParameters typed = s.cell;

  EXPECT_FALSE(adopt_refined_values(s).done);  // nothing refined yet
  EXPECT_EQ(s.cell.a, typed.a);
  EXPECT_EQ(s.measured.peaks[0].two_theta, 28.481);
  EXPECT_EQ(s.selected.size(), pairs.size());

  s.results.refined = true;
  s.results.cell = {5.4312, 5.4312, 5.4312, 90, 90, 90};
  s.results.zero_shift = 0.04;
  s.results.lambda = 1.540593;
  ASSERT_TRUE(adopt_refined_values(s).done);
  EXPECT_FALSE(s.results.refined);
  s.selected = pairs;  // paired again without refining
  EXPECT_FALSE(adopt_refined_values(s).done);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].two_theta, 28.481 - 0.04);

  s.results.refined = true;
  ASSERT_TRUE(restore_initial_cell(s).done);
  EXPECT_FALSE(s.results.refined);
}

TEST(Export, ExcelTextFromTheReport) {
  ScratchFolder folder;
  WorkSession s;
  reset_session(s, std::filesystem::current_path());
  RecordingMessages m;
  EXPECT_FALSE(export_excel(s, m));
  EXPECT_EQ(m.texts(), std::vector<std::string>{"No results"});

  small_silicon_session(s);
  s.shift_mode = ShiftMode::SampleEccentricity;
  s.refine_checked[6] = true;
  m.clear();
  ASSERT_EQ(refine_pairs(s, {"1.540593", "0.01"}, m).status, RefineStatus::Refined);
  {  // an export of another case spelled otherwise is replaced
    TextFile old;
    old.add("old");
    old.save("EXCEL.TXT");
  }
  const auto lines = export_excel(s, m);
  ASSERT_TRUE(lines);
  EXPECT_FALSE(std::filesystem::exists("EXCEL.TXT"));
  EXPECT_EQ(read_text_lines("Excel.txt"), *lines);
  ASSERT_EQ(lines->size(), 11u + 5u);
  const auto& L = *lines;
  EXPECT_EQ(L[1], "si.dif\t");
  EXPECT_EQ(L[2], "Initial values    : (Refinement keys on 2nd line)\t");
  EXPECT_EQ(L[3], " e/R(°)\t Lambda\t   a\t   b\t   c\t alpha\t beta\t gamma\t  Vol.");
  EXPECT_EQ(L[4], "   0.01\t1.54059\t 5.4300\t 5.4300\t 5.4300\t 90.000\t 90.000\t 90.000\t  160.1\t");
  EXPECT_EQ(L[5], "    2\t    0\t    1\t    0\t    0\t    0\t    0\t    0\t");
  EXPECT_EQ(L[6], "Final values      : (Standard errors on 2nd line)\t");
  EXPECT_EQ(L[7], L[3] + "\t");
  EXPECT_EQ(std::count(L[9].begin(), L[9].end(), '\t'), 8);
  EXPECT_EQ(L[10], "   H\t   K\t   L\t  2T(Obs)\t  2T-Zero\t  2Th(Cal)\t   Dif");
  EXPECT_TRUE(L[11].starts_with("   1\t   1\t   1\t 28.4810\t"));
  std::ifstream raw("Excel.txt", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(raw)), {});
  EXPECT_NE(bytes.find(" e/R(\xB0)\t Lambda"), std::string::npos);  // Windows-1252
  EXPECT_NE(bytes.find("  Vol.\r\n"), std::string::npos);
  EXPECT_TRUE(m.empty());
}

TEST(DefaultKeys, PerSystem) {
  struct Case {
    const char* system;
    CellParameters cell;
    std::array<bool, 6> keys;
  };
  const Case cases[] = {
      {"CUBI", {5, 5, 5, 90, 90, 90}, {1, 0, 0, 0, 0, 0}},
      {"TETR", {5, 5, 7, 90, 90, 90}, {1, 0, 1, 0, 0, 0}},
      {"HEXA", {5, 5, 7, 90, 90, 120}, {1, 0, 1, 0, 0, 0}},
      {"ORTH", {5, 6, 7, 90, 90, 90}, {1, 1, 1, 0, 0, 0}},
      {"RHOM", {5, 5, 5, 80, 80, 80}, {1, 0, 0, 1, 0, 0}},
      {"MONO", {5, 6, 7, 90.001, 104, 89.999}, {1, 1, 1, 0, 1, 0}},
      {"MONO", {5, 6, 7, 90, 90, 117}, {1, 1, 1, 0, 0, 1}},
      {"TRIC", {5, 6, 7, 80, 85, 95}, {1, 1, 1, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.system);
    WorkSession s;
    s.system = c.system;
    s.cell = c.cell;
    s.refine_checked.fill(true);
    reset_refine_flags(s);
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(s.refine_checked[i], c.keys[i]) << i;
      EXPECT_EQ(s.refine_enabled[i], c.keys[i]) << i;
    }
    EXPECT_FALSE(s.refine_checked[6] || s.refine_checked[7]);
    EXPECT_TRUE(s.refine_enabled[6] && s.refine_enabled[7]);
  }
}
