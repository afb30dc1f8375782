// Every load command against every kind of failure: a file that is missing, a folder in
// its place, garbage, an empty file. Each shows exactly one message (naming the file
// when it could not be read) and leaves the whole session as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "commands/cell_files.hpp"
#include "commands/indexed_list_commands.hpp"
#include "commands/load_peaks.hpp"
#include "commands/load_profile.hpp"
#include "core/calc_fixtures.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::write_bytes;

struct AnyWavelength : WavelengthDialog {
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override {
    return WavelengthSet{1.5406, 0, 0, 1.0, "?"};
  }
};

// Everything a load could commit, as one text to compare.
std::string snapshot(const WorkSession& s) {
  std::ostringstream o;
  o.precision(17);
  const auto wl = [&](const WavelengthSet& w) {
    o << w.lambda << ' ' << w.lambda1 << ' ' << w.lambda2 << ' ' << w.ratio << ' ' << w.anode << '|';
  };
  const auto cell = [&](const CellParameters& c) {
    o << c.a << ' ' << c.b << ' ' << c.c << ' ' << c.alpha << ' ' << c.beta << ' ' << c.gamma << '|';
  };
  cell(s.cell);
  cell(s.initial_cell);
  o << s.system << '|' << s.symbol << '|' << s.symbol_kind << '|' << s.operators.size() << '|';
  wl(s.wavelengths);
  wl(s.measured.wavelengths);
  wl(s.profile.wavelengths);
  o << s.range_min << ' ' << s.range_max << ' ' << s.window_min << ' ' << s.window_max << '|';
  for (const auto& p : s.measured.peaks) o << p.two_theta << ' ' << p.intensity << ';';
  o << s.measured.file_name << '|' << s.measured.sample << '|';
  for (const auto& p : s.profile.points) o << p.two_theta << ' ' << p.intensity << ';';
  o << s.profile.file_name << '|' << s.profile.sample << '|';
  for (const auto& r : s.allowed) o << r.h << r.k << r.l << ' ' << r.two_theta << ';';
  for (const auto& p : s.selected) o << p.h << p.k << p.l << ' ' << p.two_theta_obs << ';';
  o << s.indexed_list.size() << '|' << s.title << '|' << s.cell_file_name;
  return o.str();
}

struct LoadErrors : ::testing::Test {
  TempFolder folder;
  WorkSession s;
  CellTab tab;
  RecordingMessages m;
  AnyWavelength dialog;

  void SetUp() override {
    reset_session(s, folder.path());
    s.data_folder = VORNAX_SOURCE_DATA_DIR;
    s.wavelengths.lambda = 1.540593;
    s.range_min = s.window_min = 10;
    s.range_max = s.window_max = 80;
    write_bytes("si.cry",
                "Silicon\r\ncubi\r\nF d -3 m\r\n"
                "    5.4312    5.4312    5.4312   90.0000   90.0000   90.0000\r\n");
    ASSERT_TRUE(any(import_cell_vornax(s, tab, "si.cry", m), Changed::Calculated));
    s.measured.peaks = {{28.442, 28.442, 100, 0}, {47.302, 47.302, 55, 0}};
    s.measured.file_name = "old.dif";
    s.profile.points = {{20, 1, 20}, {20.02, 2, 20.02}};
    s.profile.file_name = "old.raw";
    s.profile.wavelengths = {1.5418, 1.54056, 1.54439, 0.5, "Cu"};
    s.selected = {{1, 1, 1, 28.442f, 28.44f, 0, 0}};
    m.clear();
  }
};

TEST_F(LoadErrors, EveryFailureIsOneMessageAndNoChange) {
  struct Command {
    const char* file;
    std::function<Changed(const fs::path&)> run;
    bool empty_is_an_error = true;  // an empty indexed list is a list of no pairs
  };
  const Command commands[] = {
      {"p.dif", [&](const fs::path& p) { return load_peak_file(s, m, dialog, p, PeakFileType::BrukerDif); }},
      {"p.di", [&](const fs::path& p) { return load_peak_file(s, m, dialog, p, PeakFileType::PhilipsDi); }},
      {"p.prn", [&](const fs::path& p) { return load_peak_file(s, m, dialog, p, PeakFileType::ColumnPrn); }},
      {"p.raw", [&](const fs::path& p) { return load_profile_file(s, m, dialog, p, ProfileFileType::BrukerRaw); }},
      {"p.rd", [&](const fs::path& p) { return load_profile_file(s, m, dialog, p, ProfileFileType::PhilipsRd); }},
      {"p.cpi", [&](const fs::path& p) { return load_profile_file(s, m, dialog, p, ProfileFileType::Cpi); }},
      {"c.cry", [&](const fs::path& p) { return import_cell_vornax(s, tab, p, m); }},
      {"c.ics", [&](const fs::path& p) { return import_cel_icsd(s, tab, p, m); }},
      {"l.lst", [&](const fs::path& p) { return merge_indexed_list(s, p, m); }, false},
  };
  struct Kind {
    const char* what;
    std::function<fs::path(const std::string&)> make;
    bool unreadable;  // a FileError, whose message names the file
    bool empty = false;
  };
  const Kind kinds[] = {
      {"missing", [](const std::string& f) { return fs::path("missing_" + f); }, true},
      {"folder", [](const std::string& f) {
         fs::create_directories("folder_" + f);
         return fs::path("folder_" + f);
       }, true},
      {"garbage", [](const std::string& f) {
         write_bytes("garbage_" + f, "\x01\x02 no file of any kind\r\nx y z\r\n");
         return fs::path("garbage_" + f);
       }, false},
      {"empty", [](const std::string& f) {
         write_bytes("empty_" + f, "");
         return fs::path("empty_" + f);
       }, false, true},
  };
  const std::string before = snapshot(s);
  for (const Command& c : commands)
    for (const Kind& k : kinds) {
      if (k.empty && !c.empty_is_an_error) continue;
      SCOPED_TRACE(std::string(c.file) + ", " + k.what);
      m.clear();
      const fs::path path = k.make(c.file);
      EXPECT_EQ(c.run(path), Changed::None);
      ASSERT_EQ(m.texts().size(), 1u);
      if (k.unreadable) {
        EXPECT_NE(m.texts()[0].find(path.filename().string()), std::string::npos) << m.texts()[0];
      }
      EXPECT_EQ(snapshot(s), before);
    }
}

}  // namespace
}  // namespace vornax
