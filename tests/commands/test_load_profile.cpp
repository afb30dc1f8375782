#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "commands/load_profile.hpp"
#include "commands/save_profile.hpp"
#include "core/text_file.hpp"
#include "commands/reread_angle_range.hpp"
#include "commands/series.hpp"
#include "files/profile_kind_fixtures.hpp"
#include "files/raw_file.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

namespace fs = std::filesystem;

struct ScriptedDialog : WavelengthDialog {
  std::optional<WavelengthSet> answer;
  int asked = 0;
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool profile_mode) override {
    ++asked;
    EXPECT_TRUE(profile_mode);
    return answer;
  }
};

class LoadProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vornax_load_profile_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    s.working_folder = dir / "work";
    fs::create_directories(s.working_folder);
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path write(const std::string& name, const std::string& bytes) {
    const auto p = dir / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  static std::string slurp(const fs::path& p) { return read_file_bytes(p); }

  // A session with an old profile and peaks-free current values, to see what changes.
  void old_profile() {
    s.profile.points = {{1, 2, 1}, {3, 4, 3}};
    s.profile.file_name = "old.raw";
    s.profile.wavelengths = {1.5418, 1.54056, 1.54439, 0.5, "Cu"};
    s.wavelengths = s.profile.wavelengths;
    s.range_min = s.window_min = 1;
    s.range_max = s.window_max = 3;
  }
  void expect_old_profile() {
    ASSERT_EQ(s.profile.points.size(), 2u);
    EXPECT_EQ(s.profile.file_name, "old.raw");
    EXPECT_EQ(s.profile.wavelengths.lambda, 1.5418);
    EXPECT_EQ(s.wavelengths.lambda, 1.5418);
    EXPECT_EQ(s.range_max, 3);
    EXPECT_EQ(s.window_min, 1);
  }

  // A column file has no wavelength; the dialog is asked.
  fs::path column_file() { return write("scan.xy", "10 5\n10.5 25\n11 15\n"); }

  fs::path dir;
  WorkSession s;
  RecordingMessages m;
  ScriptedDialog dialog;
};

TEST_F(LoadProfile, FailedReadsChangeNothing) {
  old_profile();
  const std::pair<std::string, std::string> bad[] = {
      {"empty.raw", ""},
      {"garbage.raw", "garbage bytes that are no profile"},
      {"cut.rd", "V3RD"},
      {"bad.dat", "no ident\r\n2\r\n3\r\n4\r\n10 0.1 11\r\n1 2\r\n"},
      {"nan.xy", "10 1\nnan 2\n"},
  };
  for (const auto& [name, bytes] : bad) {
    SCOPED_TRACE(name);
    m.clear();
    EXPECT_EQ(load_profile_file(s, m, dialog, write(name, bytes), std::nullopt), Changed::None);
    ASSERT_EQ(m.texts().size(), 1u);
    expect_old_profile();
  }
  EXPECT_EQ(load_profile_file(s, m, dialog, dir / "missing.raw", ProfileFileType::BrukerRaw),
            Changed::None);
  EXPECT_EQ(dialog.asked, 0);  // never asked for a wavelength of a file not read
  expect_old_profile();
}

// The file with the double at `at` replaced by `v`.
std::string with_double(std::string bytes, size_t at, double v) {
  std::memcpy(bytes.data() + at, &v, sizeof v);
  return bytes;
}

std::string xrdml_range(const std::string& start, const std::string& end) {
  return test::xrdml_fixture("<positions axis=\"2Theta\"><startPosition>" + start +
                                 "</startPosition><endPosition>" + end + "</endPosition></positions>",
                             "counts", "1 5 2");
}

std::string brml(const std::string& raw_data) {
  return test::zip_fixture({{"Experiment0/RawData0.xml", raw_data}});
}

TEST_F(LoadProfile, BadValuesAreRefusedNamingTheField) {
  old_profile();
  struct Case {
    const char* name;
    std::string bytes;
    const char* field;
  };
  const Case cases[] = {
      {"far.xy", "10 1\n1e300 2\n", "2Theta of point 2 (inf) is outside 0 to 180"},
      {"wide.xy", "10 1\n190 2\n", "2Theta of point 2 (190) is outside 0 to 180"},
      {"below.xy", "-5 1\n10 2\n", "2Theta of point 1 (-5) is outside"},
      {"back.xy", "20 1\n10 2\n", "step of point 2 goes back from 20 to 10"},
      {"same.xy", "20 1\n20 2\n", "step of point 2 is 0"},
      {"overflow.xy", "10 1\n11 1e300\n", "intensity 1e+300 overflows"},
      {"wide.xrdml", xrdml_range("-1e300", "1e300"), "start angle (-1e+300) is not an angle"},
      {"reversed.xrdml", xrdml_range("40", "20"), "endPosition 20 is not above startPosition 40"},
      {"step.brml", brml(test::brml_axis_id_raw_data(10, 1e300, {1, 2, 3})), "step (1e+300) is not an angle"},
      {"zero.brml", brml(test::brml_axis_id_raw_data(20, 0, {1, 2, 3})), "step is 0"},
      {"zero_datum.brml", brml(test::brml_raw_data(20, 0, {1, 2, 3})), "step of point 2 is 0"},
      {"step.raw", with_double(test::raw1_fixture({1, 2, 3}), 888, 1e300), "step (1e+300) is not an angle"},
      {"negative.raw", test::raw2_fixture({1, 2, 3}, 60, 0, 10.0f, -0.02f), "is negative: a reversed range"},
      {"step.rd", with_double(test::rd_fixture("V3", {1, 2, 3}), 214, 1e300), "step (1e+300) is not an angle"},
      {"step.dat", test::crlf({"SampleIdent Q", "", "Alpha1 1.54056 Alpha2 1.54439 Ratio 0.5", "", "10.0 1e300 10.06", "1 2 3"}),
       "step (1e+300) is not an angle"},
      {"zero.dat", test::crlf({"SampleIdent Q", "", "Alpha1 1.54056 Alpha2 1.54439 Ratio 0.5", "", "10.0 0 10.0", "1 2 3"}),
       "step is 0"},
      {"zero.cpi",
       test::crlf({"SIETRONICS XRD SCAN", "10.000", "10.060", "0.000", "Cu", "1.54180", "0:00", "1",
                   "SampleIdent Quartz", "SCANDATA", "100", "200", "300"}),
       "step is 0"},
      {"zero.fxye", "MgO\nBANK 1 3 3 CONS 2000 0 0 0 FXYE\n2000 1 1\n2000 7 2\n2000 2 1\n",
       "step of point 2 is 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m.clear();
    EXPECT_EQ(load_profile_file(s, m, dialog, write(c.name, c.bytes), std::nullopt), Changed::None);
    ASSERT_EQ(m.texts().size(), 1u);
    EXPECT_EQ(m.texts()[0].rfind(std::string(c.name) + ": ", 0), 0u) << m.texts()[0];
    EXPECT_NE(m.texts()[0].find(c.field), std::string::npos) << m.texts()[0];
    expect_old_profile();
  }
  EXPECT_EQ(dialog.asked, 0);
}

TEST_F(LoadProfile, ClosedWavelengthWindowChangesNothing) {
  old_profile();
  EXPECT_EQ(load_profile_file(s, m, dialog, column_file(), std::nullopt), Changed::None);
  EXPECT_EQ(dialog.asked, 1);
  expect_old_profile();
  EXPECT_TRUE(m.empty());
}

TEST_F(LoadProfile, ChosenAnodeCompletesThePair) {
  dialog.answer = WavelengthSet{1.7902, 0, 0, 0.5, "Co"};
  const auto c = load_profile_file(s, m, dialog, column_file(), std::nullopt);
  EXPECT_TRUE(any(c, Changed::Profile) && any(c, Changed::CurrentValues));
  const auto& w = s.profile.wavelengths;
  EXPECT_EQ(w.lambda, 1.7902);
  EXPECT_EQ(w.lambda1, 1.78897);
  EXPECT_EQ(w.lambda2, 1.79285);
  EXPECT_EQ(w.anode, "Co");
  // No peaks: the profile's wavelengths and range become the current ones.
  EXPECT_EQ(s.wavelengths.lambda1, 1.78897);
  EXPECT_EQ(s.range_min, 10);
  EXPECT_EQ(s.window_max, 11);
  EXPECT_EQ(s.profile.file_name, (dir / "scan.xy").string());
  ASSERT_EQ(s.profile.points.size(), 3u);
  EXPECT_EQ(s.profile.points[1].intensity, 100);
}

TEST_F(LoadProfile, AnodeNamedWithinAHundredthOfAnAngstrom) {
  const std::pair<double, std::string> cases[] = {
      {1.5418, "Cu"}, {1.5500, "Cu"}, {1.5330, "Cu"}, {1.5600, "?"}, {0.7107, "Mo"}, {2.2, "?"}};
  for (const auto& [lambda, anode] : cases) {
    dialog.answer = WavelengthSet{lambda, 0, 0, 1.0, "?"};
    load_profile_file(s, m, dialog, column_file(), ProfileFileType::Column);
    EXPECT_EQ(s.profile.wavelengths.anode, anode) << lambda;
    EXPECT_EQ(s.profile.wavelengths.lambda, lambda);
  }
}

TEST_F(LoadProfile, CpiAnodeGivesTheKalphaPair) {
  const auto path = write("z.cpi", "SIETRONICS XRD SCAN\r\n20\r\n20.1\r\n0.05\r\nCu\r\n1.5406\r\n"
                                   "x\r\n1\r\nSampleIdent Z\r\nSCANDATA\r\n1\r\n2\r\n3\r\n");
  load_profile_file(s, m, dialog, path, std::nullopt);  // no choice: the extension decides
  const auto& w = s.profile.wavelengths;
  EXPECT_EQ(w.lambda, 1.5406);
  EXPECT_EQ(w.lambda1, 1.54056);
  EXPECT_EQ(w.lambda2, 1.54439);
  EXPECT_EQ(w.ratio, 0.5);
  EXPECT_EQ(s.profile.start_angle, 20);
  // Read while peaks are shown, a CPI profile keeps no range of its own.
  s.measured.peaks.push_back({21, 21, 100, 0});
  load_profile_file(s, m, dialog, path, ProfileFileType::Cpi);
  EXPECT_EQ(s.profile.start_angle, 0);
  EXPECT_EQ(s.profile.final_angle, 0);
}

TEST_F(LoadProfile, ProfileMustMatchThePeaksWavelength) {
  old_profile();
  s.measured.peaks.push_back({21, 21, 100, 0});
  s.measured.wavelengths.lambda = 1.5418;
  s.wavelengths.lambda = 1.5418;
  struct Case {
    double lambda;
    bool accepted;
  } cases[] = {{1.7902, false}, {1.5508, true}, {1.5328, true}, {1.5519, false},
               // exactly 0.01 Å apart (a hair more in binary) still agrees
               {1.5518, true},  {1.5318, true},  {1.5317, false}};
  for (const auto& c : cases) {
    m.clear();
    dialog.answer = WavelengthSet{c.lambda, 0, 0, 1.0, "?"};
    const auto changed = load_profile_file(s, m, dialog, column_file(), ProfileFileType::Column);
    EXPECT_EQ(any(changed, Changed::Profile), c.accepted) << c.lambda;
    if (c.accepted) {
      EXPECT_EQ(s.profile.wavelengths.lambda, c.lambda);
      EXPECT_EQ(s.wavelengths.lambda, 1.5418);  // the peaks' wavelength stays current
      EXPECT_EQ(s.range_max, 3);
      old_profile();
    } else {
      EXPECT_EQ(m.texts(), std::vector<std::string>{"The wavelength read in the file is different "
                                                    "from the wavelength of the measured peaks"});
      expect_old_profile();
    }
  }
}

// A window that checks on OK: each choice the user makes in turn is offered to the
// command's check; a refused one shows its message and the window stays open.
struct CheckingWindow : WavelengthDialog {
  std::vector<WavelengthSet> choices;  // what the user chooses, in order
  std::vector<std::string> shown;      // the messages the window showed
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override { return std::nullopt; }
  std::optional<WavelengthSet> choose_checked(const WavelengthSet&, bool,
                                              const WavelengthCheck& check) override {
    for (WavelengthSet w : choices) {
      const std::string refused = check(w);
      if (refused.empty()) return w;
      shown.push_back(refused);
    }
    return std::nullopt;  // closed after the last refusal
  }
};

TEST_F(LoadProfile, ARefusedChoiceKeepsTheWindowOpenForAnother) {
  const std::string mismatch =
      "The wavelength read in the file is different from the wavelength of the measured peaks";
  struct Case {
    const char* name;
    std::vector<WavelengthSet> choices;
    std::vector<std::string> shown;
    double lambda;  // 0: nothing loaded
  };
  const Case cases[] = {
      {"Co then Cu", {{1.7902, 1.78897, 1.79285, 0.5, "Co"}, {1.5418, 1.54056, 1.54439, 0.5, "Cu"}},
       {mismatch}, 1.5418},
      {"Mo, Co, closed", {{0.7107, 0.7093, 0.71359, 0.5, "Mo"}, {1.7902, 1.78897, 1.79285, 0.5, "Co"}},
       {mismatch, mismatch}, 0},
      // The pair alone, completed before the check: (0.5·1.54439 + 1.54056)/1.5.
      {"Cu pair only", {{0, 1.54056, 1.54439, 0.5, "Cu"}}, {}, 1.5418366666666667},
      {"exactly 0.01 Å off", {{1.5518, 0, 0, 1.0, "?"}}, {}, 1.5518},
  };
  for (const auto& c : cases) {
    old_profile();
    s.measured.peaks = {{21, 21, 100, 0}};
    s.measured.wavelengths.lambda = 1.5418;
    m.clear();
    CheckingWindow window;
    window.choices = c.choices;
    const Changed changed = load_profile_file(s, m, window, column_file(), ProfileFileType::Column);
    EXPECT_EQ(window.shown, c.shown) << c.name;
    EXPECT_TRUE(m.empty()) << c.name;  // the window said it; the command adds nothing
    if (c.lambda == 0) {
      EXPECT_EQ(changed, Changed::None) << c.name;
      expect_old_profile();
    } else {
      EXPECT_TRUE(any(changed, Changed::Profile)) << c.name;
      EXPECT_NEAR(s.profile.wavelengths.lambda, c.lambda, 1e-12) << c.name;
      EXPECT_EQ(s.profile.file_name, (dir / "scan.xy").string()) << c.name;
    }
  }
}

TEST_F(LoadProfile, ReReadProfileTakesTheZeroOffset) {
  s.measured.zero_offset = 0.05;
  dialog.answer = WavelengthSet{1.5418, 0, 0, 1.0, "?"};
  load_profile_file(s, m, dialog, column_file(), ProfileFileType::Column);
  ASSERT_EQ(s.profile.points.size(), 3u);
  EXPECT_FLOAT_EQ(s.profile.points[1].two_theta_read, 10.5f);
  EXPECT_FLOAT_EQ(s.profile.points[1].two_theta, 10.55f);
}

// ---- saving ----

TEST_F(LoadProfile, SaveAsksBeforeOverwritingAndRecordsTheNameAfterWriting) {
  s.title = "Quartz";
  dialog.answer = WavelengthSet{1.5418, 0, 0, 1.0, "?"};
  load_profile_file(s, m, dialog, column_file(), ProfileFileType::Column);
  const std::string loaded = s.profile.file_name;

  // The extension is added when the name lacks it.
  EXPECT_EQ(save_profile(s, m, dir / "out", ProfileSaveKind::Raw2), Changed::Profile);
  EXPECT_EQ(s.saved_profile_name, (dir / "out.raw").string());
  EXPECT_EQ(s.profile.file_name, loaded);  // the loaded profile keeps its own name
  EXPECT_EQ(s.profile.file_kind, ProfileFileType::Column);
  EXPECT_EQ(slurp(dir / "out.raw").size(), 316u + 12u);

  write("old.cpi", "keep me");
  m.clear();
  m.answers = {Answer::No};
  EXPECT_EQ(save_profile(s, m, dir / "old.cpi", ProfileSaveKind::Cpi), Changed::None);
  EXPECT_EQ(m.texts(), std::vector<std::string>{"This file already exists. Do you want to continue?"});
  EXPECT_EQ(slurp(dir / "old.cpi"), "keep me");
  EXPECT_EQ(s.saved_profile_name, (dir / "out.raw").string());  // no name for a file not written

  m.answers = {Answer::Yes};
  EXPECT_EQ(save_profile(s, m, dir / "old.cpi", ProfileSaveKind::Cpi), Changed::Profile);
  EXPECT_EQ(slurp(dir / "old.cpi").substr(0, 21), "SIETRONICS XRD SCAN\r\n");
  EXPECT_EQ(s.saved_profile_name, (dir / "old.cpi").string());
  EXPECT_EQ(s.profile.file_name, loaded);

  WorkSession empty;
  m.clear();
  EXPECT_EQ(save_profile(empty, m, dir / "x.raw", ProfileSaveKind::Raw2), Changed::None);
  EXPECT_EQ(m.texts(), std::vector<std::string>{"No pattern!"});
}

TEST_F(LoadProfile, Raw2KeepsATypedWavelengthThroughAReload) {
  dialog.answer = WavelengthSet{1.6, 0, 0, 0.5, "Xx"};  // "Other": no Kα pair
  load_profile_file(s, m, dialog, column_file(), ProfileFileType::Column);
  ASSERT_EQ(s.profile.wavelengths.lambda1, 0);
  save_profile(s, m, dir / "typed.raw", ProfileSaveKind::Raw2);
  WorkSession again;
  ScriptedDialog never;
  load_profile_file(again, m, never, dir / "typed.raw", ProfileFileType::BrukerRaw);
  EXPECT_EQ(never.asked, 0);
  EXPECT_NEAR(again.profile.wavelengths.lambda, 1.6, 1e-6);
  ASSERT_EQ(again.profile.points.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(again.profile.points[i].two_theta, s.profile.points[i].two_theta, 1e-5);
    EXPECT_NEAR(again.profile.points[i].intensity, s.profile.points[i].intensity, 1e-4);
  }
}

// ---- raw.out ----

Profile report_profile(int n) {
  Profile p;
  p.file_name = "/data/scans/q.raw";
  p.sample = "Quartz (RAW2)";
  p.wavelengths = {1.5418, 1.54056, 1.54439, 0.5, "Cu"};
  p.start_angle = 10;
  p.final_angle = 10 + 0.5 * (n - 1);
  p.intensity_min = 100;
  p.intensity_max = 300;
  for (int i = 0; i < n; ++i) {
    const float a = 10.0f + 0.5f * static_cast<float>(i);
    p.points.push_back({a, static_cast<float>(i % 3) * 50.0f, a});
  }
  return p;
}

TEST(RawOut, HeaderAndFivePairsALine) {
  const auto f = raw_out_report(report_profile(7));
  const std::vector<std::string> expected = {
      "File name    :q.raw",
      "sample ID    :Quartz (RAW2)",
      "Anode        :Cu",
      "Ratio        :    0.50",
      "Lambda       : 1.54180",
      "Lambda1      : 1.54056",
      "Lambda2      : 1.54439",
      "Start angle  :   10.00",
      "Final angle  :   13.00",
      "Step Size    :   0.500",
      "Nb of points :       7",
      // counts = scaled·(300 − 100)/100 + 100
      "  10.000     100  10.500     200  11.000     300  11.500     100  12.000     200",
      "  12.500     300  13.000     100",
  };
  EXPECT_EQ(f.lines, expected);
}

TEST(RawOut, HugeCountsKeepABlankAndOnePointHasNoStep) {
  Profile p = report_profile(1);
  p.points[0].intensity = 100;
  p.intensity_min = 0;
  p.intensity_max = 123456789;  // 9 digits, as RD counts can reach
  const auto f = raw_out_report(p);
  EXPECT_EQ(f.lines[9], "Step Size    :   0.000");
  EXPECT_EQ(f.lines.back(), "  10.000 123456789");
  p.intensity_max = 12345678;  // exactly the field's width
  EXPECT_EQ(raw_out_report(p).lines.back(), "  10.000 12345678");
}

TEST_F(LoadProfile, RawOutIsWrittenInTheWorkingFolder) {
  m.clear();
  EXPECT_FALSE(edit_raw(s, m));
  EXPECT_EQ(m.texts(), std::vector<std::string>{"No diagram!"});
  s.profile = report_profile(2);
  const auto path = edit_raw(s, m);
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, s.working_folder / "raw.out");
  EXPECT_EQ(slurp(*path).substr(0, 21), "File name    :q.raw\r\n");
}

// The kind chosen in a menu (or by --type) is the kind read, for every kind and
// whatever the name says; the profile remembers it.
TEST_F(LoadProfile, TheChosenKindWinsForEveryKind) {
  for (const auto& k : vornax::test::profile_kind_samples()) {
    SCOPED_TRACE(k.kind);
    const ProfileFileType type = *profile_type_from_number(k.kind);
    // A name that names another kind, or none.
    const auto path = write(k.kind == 5 ? "scan.raw" : "scan.xy", k.bytes);
    WorkSession fresh;
    fresh.working_folder = s.working_folder;
    dialog.answer = WavelengthSet{1.5406, 0, 0, 1.0, "?"};
    ProfileLoadNote note;
    ASSERT_TRUE(any(load_profile_file(fresh, m, dialog, path, type, 0, &note), Changed::Profile))
        << (m.texts().empty() ? "" : m.texts().back());
    EXPECT_EQ(fresh.profile.points.size(), k.points);
    EXPECT_EQ(note.type, type);
    EXPECT_FALSE(note.by_content);
    EXPECT_EQ(fresh.profile.file_kind, type);
    // Read again (a new range), it is read as the same kind, not as its name says.
    EXPECT_EQ(reread_profile_file(fresh.profile).points.size(), k.points);
  }
}

TEST_F(LoadProfile, ADatOfColumnsIsReadAsColumnsAndSaysSo) {
  const auto path = write("SiC.dat", "10 5\n10.5 25\n11 15\n");
  dialog.answer = WavelengthSet{1.5406, 0, 0, 1.0, "?"};
  ProfileLoadNote note;
  ASSERT_TRUE(any(load_profile_file(s, m, dialog, path, std::nullopt, 0, &note), Changed::Profile));
  EXPECT_EQ(note.type, ProfileFileType::Column);
  EXPECT_EQ(profile_kind_note_text(path, note), "SiC.dat read as Column Format");
  EXPECT_EQ(s.profile.points.size(), 3u);
  // Chosen as Rietveld, it is read as Rietveld, and refused.
  m.clear();
  EXPECT_EQ(load_profile_file(s, m, dialog, path, ProfileFileType::RietveldDat), Changed::None);
  EXPECT_EQ(m.texts().size(), 1u);
  EXPECT_EQ(profile_kind_note_text(path, ProfileLoadNote{ProfileFileType::RietveldDat, false}), "");
}

// "Theta range": the profile is read again as the kind it was chosen as, so a wider
// range gets its points back even when the name names another kind.
TEST_F(LoadProfile, RangeReReadKeepsTheChosenKind) {
  const auto path = write("scan.raw", "10 5\n10.5 25\n11 15\n11.5 10\n");
  dialog.answer = WavelengthSet{1.5406, 0, 0, 1.0, "?"};
  ASSERT_TRUE(any(load_profile_file(s, m, dialog, path, ProfileFileType::Column), Changed::Profile));
  CellTab tab;
  RangeEntry narrow{"1.5406", "10.4", "11.1", true, true, true};
  ASSERT_TRUE(any(reread_angle_range(s, tab, m, narrow), Changed::Profile))
      << (m.texts().empty() ? "" : m.texts().back());
  EXPECT_EQ(s.profile.points.size(), 2u);
  RangeEntry wide{"1.5406", "9", "12", true, true, true};
  ASSERT_TRUE(any(reread_angle_range(s, tab, m, wide), Changed::Profile));
  EXPECT_EQ(s.profile.points.size(), 4u);
}

// A folder scan takes the names of known kinds, but not .txt and .prn, nor unknown ones.
TEST_F(LoadProfile, FolderScanTakesTheTablesProfileNames) {
  const fs::path folder = dir / "series";
  fs::create_directories(folder);
  for (const char* name : {"a.raw", "b.dat", "c.txt", "d.prn", "e.xy", "f.xye", "g.cpi", "h.asc",
                           "i.gsa", "j.brml", "k.xrdml", "l.rd", "m.dif"})
    std::ofstream(folder / name) << "x";
  std::vector<std::string> names;
  for (const auto& p : series_files_in(folder)) names.push_back(p.filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"a.raw", "b.dat", "e.xy", "f.xye", "g.cpi", "i.gsa",
                                             "j.brml", "k.xrdml", "l.rd"}));
}

}  // namespace
}  // namespace vornax
