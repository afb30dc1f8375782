// The peak-file load and save commands: what they commit, what a refusal leaves alone,
// and vornax-cli peaks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "commands/load_peaks.hpp"
#include "commands/save_peaks.hpp"
#include "files/peak_fixtures.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

namespace fs = std::filesystem;

struct ScriptedDialog : WavelengthDialog {
  std::optional<WavelengthSet> answer;
  int asked = 0;
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool profile_mode) override {
    ++asked;
    EXPECT_FALSE(profile_mode);
    return answer;
  }
};

class LoadPeaks : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vornax_peaks_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    reset_session(s, dir);
    // A user's state that a failed load must not touch.
    s.wavelengths = {1.79, 1.78897, 1.79285, 0.5, "Co"};
    s.range_min = s.window_min = 10;
    s.range_max = s.window_max = 80;
    s.measured.peaks = {{33.0, 33.0, 100, 1}};
    s.measured.file_name = "old.dif";
    s.measured.zero_offset = 0.25;
    s.selected.push_back({1, 1, 0, 33.0f, 33.1f, 0, 0});
    dialog.answer = WavelengthSet{1.5406, 0, 0, 1.0, "?"};
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return dir / name;
  }
  // The parts of the session a load may change.
  std::string snapshot() const {
    std::ostringstream o;
    o.precision(17);
    const auto w = [&](const WavelengthSet& x) { o << x.lambda << ' ' << x.lambda1 << ' ' << x.lambda2 << ' ' << x.ratio << ' ' << x.anode << '|'; };
    w(s.wavelengths);
    w(s.measured.wavelengths);
    o << s.range_min << ' ' << s.range_max << ' ' << s.window_min << ' ' << s.window_max << '|';
    for (const auto& p : s.measured.peaks) o << p.two_theta << ' ' << p.two_theta_read << ' ' << p.intensity << ';';
    o << s.measured.file_name << '|' << s.measured.sample << '|' << s.selected.size() << '|' << s.title << '|'
      << s.indexed_list.size() << '|' << s.measured.range_min << ' ' << s.measured.range_max;
    return o.str();
  }

  fs::path dir;
  WorkSession s;
  RecordingMessages m;
  ScriptedDialog dialog;
};

std::string misaligned_dif1() {
  std::string b = peak_test::dif1({{20, 100}, {30, 50}});
  peak_test::put<int32_t>(b, 968, 8);
  return b + std::string(8, '\0');
}

TEST_F(LoadPeaks, AFailedOrRefusedLoadChangesNothing) {
  struct Case {
    const char* name;
    std::string bytes;
    PeakFileType type;
    const char* message;  // nullptr: any message naming the file
  };
  const Case cases[] = {
      {"bad.dif", "RAW1 and more bytes", PeakFileType::BrukerDif, "Unknown file type!"},
      {"w.dat", "Name Position\r\nq 1 2 3 4 5\r\n", PeakFileType::Winfit, "It seems not a WINFIT file!"},
      {"d.dat", "Sample Position\r\nq 26.6 1 2 3 x\r\n", PeakFileType::Winfit, "decode error"},
      {"short.dif", peak_test::dif2({{20, 1}}).substr(0, 300), PeakFileType::BrukerDif, nullptr},
      {"empty.prn", "\r\n\r\n", PeakFileType::ColumnPrn, nullptr},
      {"nan.di", peak_test::di({{6000, 5}}, 0, 0, std::nan("")), PeakFileType::PhilipsDi, nullptr},
      {"neg.dif", peak_test::dif2({{20, 1}}, 96, 1.5f, 1.5f, .5f, "Cu", -1), PeakFileType::BrukerDif, nullptr},
      // Records written right after the header but an extra header of 8 announced: each
      // 2θ is read from the intensity's bytes (about 0) and each intensity from the
      // flags (a subnormal, whose 100/largest overflows).
      {"shifted.dif", misaligned_dif1(), PeakFileType::BrukerDif, "shifted.dif: intensity of peak 1 is not a finite number (inf)"},
      {"zero.dif", peak_test::dif1({{0.0, 10}, {20, 5}}), PeakFileType::BrukerDif,
       "zero.dif: 2Theta of peak 1 (0) is outside 0 to 180 degrees"},
      {"far.prn", "28.442\r\n1e300\r\n", PeakFileType::ColumnPrn,
       "far.prn: 2Theta of peak 2 (1e+300) is outside 0 to 180 degrees"},
  };
  const std::string before = snapshot();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m.clear();
    const auto path = write(c.name, c.bytes);
    EXPECT_EQ(load_peak_file(s, m, dialog, path, c.type), Changed::None);
    EXPECT_EQ(snapshot(), before);
    ASSERT_FALSE(m.texts().empty());
    if (c.message) {
      EXPECT_EQ(m.texts().back(), c.message);
    }
  }
  m.clear();
  EXPECT_EQ(load_peak_file(s, m, dialog, dir / "missing.dif", PeakFileType::BrukerDif), Changed::None);
  ASSERT_EQ(m.texts().size(), 1u);
  EXPECT_NE(m.texts()[0].find("missing.dif"), std::string::npos);

  // Closing the wavelength window: nothing is read, nothing changes.
  dialog.answer.reset();
  const auto prn = write("ok.prn", "28.442\r\n");
  EXPECT_EQ(load_peak_file(s, m, dialog, prn, PeakFileType::ColumnPrn), Changed::None);
  EXPECT_EQ(snapshot(), before);

  // Refusing the indexed-list question: the wavelength window is not even shown.
  const auto lst = write("i.LST", "1 1 1 28.442\r\n");
  for (Answer a : {Answer::No, Answer::Cancel}) {
    m.clear();
    m.answers = {a};
    const int asked = dialog.asked;
    EXPECT_EQ(load_peak_file(s, m, dialog, lst, PeakFileType::Xfit), Changed::None);
    EXPECT_EQ(dialog.asked, asked);
    EXPECT_EQ(m.texts(), std::vector<std::string>{kIndexedListQuestion});
  }
  EXPECT_EQ(snapshot(), before);
}

TEST_F(LoadPeaks, ProgramFilesAndSpecialFilesAreRefusedNamingThem) {
  // A peak list named like a file the run rewrites or deletes, in the folder where it
  // does so and in any case, is refused before anything is read, written or deleted.
  const std::string peaks = "28.44 100\r\n47.30 60\r\n";
  const std::string before = snapshot();
  for (const char* name : {"vornax.out", "VORNAX.INP", "excel.TXT", "mouchard", "obs.txt",
                           "scfs2.dat", "Hall.txt"}) {
    SCOPED_TRACE(name);
    const fs::path p = write(name, peaks);
    m.clear();
    EXPECT_EQ(load_peak_file(s, m, dialog, p, PeakFileType::ColumnAny), Changed::None);
    EXPECT_EQ(load_peak_file_as(s, m, dialog, p, PeakFileType::ColumnAny), Changed::None);
    ASSERT_EQ(m.texts().size(), 2u);
    EXPECT_EQ(m.texts()[0].rfind(std::string(name) + " is a file the program writes or deletes", 0), 0u)
        << m.texts()[0];
    EXPECT_EQ(snapshot(), before);
    std::ifstream in(p, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), peaks);
  }
  // The same name in another folder is an ordinary file.
  fs::create_directory(dir / "sub");
  std::ofstream(dir / "sub" / "vornax.out", std::ios::binary) << peaks;
  m.clear();
  EXPECT_NE(load_peak_file(s, m, dialog, dir / "sub" / "vornax.out", PeakFileType::ColumnAny),
            Changed::None);

  // A folder and a FIFO named as peak files: a message naming them, no hang.
  reset_session(s, dir);
  fs::create_directory(dir / "peaks.dif");
  ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
  for (const char* name : {"peaks.dif", "pipe.txt"}) {
    m.clear();
    EXPECT_EQ(load_peak_file(s, m, dialog, dir / name, PeakFileType::ColumnAny), Changed::None);
    EXPECT_EQ(m.texts(), std::vector<std::string>{"Cannot open " + std::string(name) +
                                                  ": not a regular file"});
    EXPECT_TRUE(s.measured.peaks.empty());
  }
}

TEST_F(LoadPeaks, DifFileCommitsPeaksWavelengthAndRange) {
  // Chosen through the XFIT entry: the extension decides.
  const auto path = write("Q.DIF", peak_test::dif2({{47.3, 10}, {28.44, 40}}, 96, 1.5406f, 0, 0, "  "));
  const Changed c = load_peak_file(s, m, dialog, path, PeakFileType::Xfit);
  EXPECT_TRUE(any(c, Changed::MeasuredPeaks));
  EXPECT_TRUE(any(c, Changed::CurrentValues));
  EXPECT_EQ(dialog.asked, 0);
  EXPECT_TRUE(m.empty());
  ASSERT_EQ(s.measured_count(), 2);
  // The current zero offset applies to the new peaks.
  EXPECT_FLOAT_EQ(s.measured.peaks[0].two_theta_read, 47.3f);
  EXPECT_NEAR(s.measured.peaks[0].two_theta, s.measured.peaks[0].two_theta_read + 0.25, 1e-12);
  EXPECT_EQ(s.measured.peaks[1].line_code, 1);
  EXPECT_FLOAT_EQ(s.measured.wavelengths.lambda, 1.5406f);  // completed from λ1
  EXPECT_EQ(s.measured.wavelengths.anode, "Cu");          // |1.5406 - 1.5418| < 0.005
  EXPECT_FLOAT_EQ(s.wavelengths.lambda, 1.5406f);
  EXPECT_NEAR(s.range_min, 28.34, 1e-5);
  EXPECT_NEAR(s.window_max, 47.4, 1e-5);
  EXPECT_TRUE(s.selected.empty());
  EXPECT_EQ(s.measured.file_name, path.string());
  EXPECT_EQ(observed_caption(s), "Observed reflections (Q.DIF)");
  EXPECT_DOUBLE_EQ(s.measured.intensity_max, 40);
}

TEST_F(LoadPeaks, PeaksAreCheckedAgainstALoadedProfile) {
  // The peaks are typed 1.5406: 0.0101 Å off is refused, exactly 0.01 Å is not.
  s.profile.wavelengths.lambda = 1.5507;
  const std::string before = snapshot();
  const auto far = write("far.prn", "28.4\r\n");
  EXPECT_EQ(load_peak_file(s, m, dialog, far, PeakFileType::ColumnPrn), Changed::None);
  EXPECT_EQ(m.texts().back(), kWavelengthMismatchMessage);
  EXPECT_EQ(snapshot(), before);
  {
    WorkSession edge = s;
    edge.profile.wavelengths.lambda = 1.5506;
    EXPECT_NE(load_peak_file(edge, m, dialog, far, PeakFileType::ColumnPrn), Changed::None);
  }

  dialog.answer = WavelengthSet{1.5456, 0, 0, 1.0, "?"};
  EXPECT_NE(load_peak_file(s, m, dialog, far, PeakFileType::ColumnPrn), Changed::None);
  EXPECT_EQ(s.measured_count(), 1);
  EXPECT_DOUBLE_EQ(s.measured.wavelengths.lambda, 1.5456);
  // With a profile loaded the current values stay the profile's.
  EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.79);
  EXPECT_DOUBLE_EQ(s.range_max, 80);
}

TEST_F(LoadPeaks, IndexedListAfterYesAndDiTitle) {
  const auto lst = write("i.lst", "   1   1   1   28.4420\r\n   2   2   0   47.3030\r\n");
  EXPECT_NE(load_peak_file(s, m, dialog, lst, PeakFileType::ColumnAny), Changed::None);
  EXPECT_EQ(s.indexed_list.size(), 2u);
  EXPECT_EQ(s.measured_count(), 2);
  EXPECT_EQ(s.measured.wavelengths.anode, "Cu");  // 1.5406 typed, no source chosen

  const auto di = write("p.di", peak_test::di({{5688, 300}}, 1, static_cast<uint16_t>(2 | (12 << 5) | (99 << 9))));
  const Changed c = load_peak_file(s, m, dialog, di, PeakFileType::BrukerDif);
  EXPECT_TRUE(any(c, Changed::Cell));
  EXPECT_EQ(s.title, "Date: 2/12/99");
  EXPECT_EQ(s.measured.wavelengths.anode, "Mo");  // no wavelength, the code stays
  EXPECT_TRUE(s.indexed_list.empty());
}

TEST_F(LoadPeaks, SavesAskBeforeOverwritingAndRecordTheNameAfterWriting) {
  s.wavelengths.lambda = 1.5406;
  s.measured.peaks[0].two_theta = 33.25;  // read at 33.0, then shifted
  EXPECT_EQ(save_bruker_dif(s, m, dir / "out"), Changed::MeasuredPeaks);
  EXPECT_EQ(fs::file_size(dir / "out.dif"), 352u + 16u);
  EXPECT_EQ(s.measured.file_name, (dir / "out.dif").string());
  EXPECT_EQ(m.texts().back(), "The peak positions were saved in the file " + (dir / "out.dif").string());

  s.measured.file_name = "kept";
  m.clear();
  m.answers = {Answer::No};
  EXPECT_EQ(save_bruker_dif(s, m, dir / "out.dif"), Changed::None);
  EXPECT_EQ(m.texts(), std::vector<std::string>{kFileExistsQuestion});
  EXPECT_EQ(s.measured.file_name, "kept");

  m.clear();
  EXPECT_EQ(save_column_dif(s, m, dir / "c"), Changed::MeasuredPeaks);
  EXPECT_TRUE(m.empty());
  std::ifstream f(dir / "c.prn", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(f)), {});
  EXPECT_EQ(text, "  33.250000\r\n");  // the working 2θ

  // A folder that does not exist: an error, the name unchanged.
  m.clear();
  s.measured.file_name = "kept";
  EXPECT_EQ(save_column_dif(s, m, dir / "no" / "c.prn"), Changed::None);
  EXPECT_EQ(s.measured.file_name, "kept");
  EXPECT_EQ(m.log.front().first, RecordingMessages::Kind::Error);

  const auto report = write_peak_report(s, m);
  ASSERT_TRUE(report);
  EXPECT_EQ(*report, dir / "dif.out");
  s.measured.peaks.clear();
  m.clear();
  EXPECT_FALSE(write_peak_report(s, m));
  EXPECT_EQ(m.texts().back(), kNoPeaksReportMessage);
  EXPECT_EQ(save_bruker_dif(s, m, dir / "x"), Changed::None);
  EXPECT_EQ(m.texts().back(), kNoPeakAnglesMessage);
}

TEST_F(LoadPeaks, TypedWavelengthsAboveZeroOnly) {
  for (const char* bad : {"abc", "0", "-1.5", ""}) {
    m.clear();
    EXPECT_EQ(read_lambda_box(s, m, bad), Changed::None) << bad;
    EXPECT_EQ(m.texts().back(), "Error at lambda");
    CellTab tab;
    EXPECT_EQ(change_lambda_affi(s, tab, m, bad), Changed::None);
    EXPECT_EQ(m.texts().back(), "Error on Lambda!");
  }
  EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.79);
  EXPECT_EQ(read_lambda_box(s, m, " 1.79000"), Changed::None);  // shown value unchanged
  EXPECT_EQ(read_lambda_box(s, m, "1.5406"), Changed::CurrentValues);
  EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.5406);
}

// vornax-cli peaks on the same kind of files.
std::string run_cli(const std::string& args, int& code) {
  const std::string cmd = std::string("'") + VORNAX_CLI_PATH + "' peaks " + args + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  const int status = ::pclose(p);
  code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

TEST_F(LoadPeaks, CommandLinePrintsWavelengthRangeAndPeaks) {
  const auto dif = write("q.dif", peak_test::dif2({{28.5, 50}, {47.25, 100}}, 96, 1.5f, 0, 0.5f, "Cu"));
  int code = 0;
  std::string out = run_cli("'" + dif.string() + "'", code);
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(out,
            "lambda 1.500000 lambda1 1.500000 lambda2 0.000000 ratio 0.500000 anode Cu\n"
            "range 28.400000 47.350000\n"
            "28.500000 50.000000\n"
            "47.250000 100.000000\n");

  const auto prn = write("c.prn", "28.5\n");
  out = run_cli("'" + prn.string() + "'", code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("wavelength is missing"), std::string::npos);
  out = run_cli("'" + prn.string() + "' --lambda 1.5418", code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out.substr(0, out.find('\n')),
            "lambda 1.541800 lambda1 0.000000 lambda2 0.000000 ratio 1.000000 anode Cu");
  // --type forces the reader whatever the extension.
  out = run_cli("'" + dif.string() + "' --type 5 --lambda 1.5", code);
  EXPECT_EQ(code, 1);
  out = run_cli("'" + write("bad.dif", "nothing").string() + "'", code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("Unknown file type!"), std::string::npos);
}

}  // namespace
}  // namespace vornax
