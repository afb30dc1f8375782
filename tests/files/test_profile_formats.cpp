// The table of profile formats and what is derived from it: kind numbers, dialog
// filters, extensions, the folder scan's choice, the readers and writers of every kind,
// and the content deciding an extension that several kinds share.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "core/profile_formats.hpp"
#include "files/binary_layout.hpp"
#include "files/profile_files.hpp"
#include "files/profile_kind_fixtures.hpp"

using namespace vornax;

namespace {

TEST(ProfileFormats, EveryKindNumberRoundTrips) {
  EXPECT_EQ(kProfileKindCount, 9);
  std::set<std::string_view> keys;
  for (long long n = 1; n <= kProfileKindCount; ++n) {
    const auto type = profile_type_from_number(n);
    ASSERT_TRUE(type) << n;
    EXPECT_EQ(static_cast<long long>(*type), n);
    EXPECT_EQ(profile_format(*type).type, *type);
    EXPECT_EQ(profile_codec(*type).type, *type);
    EXPECT_NE(profile_codec(*type).read, nullptr);
    EXPECT_TRUE(keys.insert(profile_format(*type).key).second) << "a key used twice: " << n;
  }
  for (long long n : {0LL, -1LL, 10LL, 1000000000000LL}) EXPECT_FALSE(profile_type_from_number(n)) << n;
}

// The dialog's filter texts are what users (and their saved dialog state) know: they stay.
TEST(ProfileFormats, FiltersAreTheLongStandingTexts) {
  const std::array<std::string_view, 9> expected = {
      "Brucker Format (*.raw)", "Rietveld Format (*.dat)", "CPI Format (*.cpi)",
      "Philips Format (*.rd)", "Column Format (*.xy *.xye *.prn *.txt)",
      "Bruker RAW4 Format (*.raw)", "Bruker BRML Format (*.brml)",
      "XRDML Format (*.xrdml)", "GSAS Format (*.gsa *.gsas *.gss *.fxye *.esd *.std)"};
  EXPECT_EQ(kProfileFileFilters, expected);
  EXPECT_EQ(profile_format_title(ProfileFileType::Column), "Column Format");
  EXPECT_EQ(profile_type_list(),
            "1 RAW, 2 Rietveld DAT, 3 CPI, 4 Philips RD, 5 column, 6 RAW4, 7 BRML, 8 XRDML, 9 GSAS");
}

// Every pattern a filter and a menu caption show is an extension of the kind, so that
// a file the dialog lists is one the name rules know.
TEST(ProfileFormats, FilterPatternsAreTheKindsExtensions) {
  for (const ProfileFormat& f : kProfileFormats) {
    SCOPED_TRACE(f.dialog_filter);
    for (std::string_view text : {f.dialog_filter, f.menu_caption}) {
      const size_t open = text.find('(');
      ASSERT_NE(open, std::string_view::npos);
      std::string_view rest = text.substr(open + 1, text.find(')') - open - 1);
      while (!rest.empty()) {
        const size_t blank = rest.find(' ');
        const std::string_view pattern = rest.substr(0, blank);
        ASSERT_EQ(pattern.substr(0, 1), "*");
        const auto named = profile_types_named_by("x" + std::string(pattern.substr(1)));
        EXPECT_NE(std::find(named.begin(), named.end(), f.type), named.end()) << pattern;
        rest = blank == std::string_view::npos ? std::string_view{} : rest.substr(blank + 1);
      }
    }
  }
}

TEST(ProfileFormats, KindsAFileNameNames) {
  using T = ProfileFileType;
  struct Case {
    const char* name;
    std::vector<T> named;
    bool scanned;  // a folder scan takes it for a profile
  };
  const Case cases[] = {
      {"a.raw", {T::BrukerRaw, T::BrukerRaw4}, true},
      {"a.DAT", {T::RietveldDat, T::Column}, true},
      {"a.cpi", {T::Cpi}, true},
      {"a.Rd", {T::PhilipsRd}, true},
      {"a.xy", {T::Column}, true},
      {"a.xye", {T::Column}, true},
      {"a.prn", {T::Column}, false},
      {"a.TXT", {T::Column}, false},
      {"a.brml", {T::Brml}, true},
      {"a.xrdml", {T::Xrdml}, true},
      {"a.std", {T::Gsas}, true},
      {"a.esd", {T::Gsas}, true},
      {"a.dif", {}, false},
      {"raw", {}, false},
      {"scan.raw.bak", {}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(profile_types_named_by(c.name), c.named) << c.name;
    EXPECT_EQ(profile_taken_by_folder_scan(c.name), c.scanned) << c.name;
  }
  EXPECT_TRUE(profile_type_has_ranges(T::BrukerRaw4));
  EXPECT_FALSE(profile_type_has_ranges(T::Gsas));
}

// Each kind's reader reads its own sample, with as many points as the file holds, and a
// wavelength only where the table says the kind has a place for one.
TEST(ProfileFormats, EveryKindReadsItsSample) {
  for (const auto& k : vornax::test::profile_kind_samples()) {
    SCOPED_TRACE(k.kind);
    const ProfileFileType type = *profile_type_from_number(k.kind);
    const ProfileFileData d = read_profile(k.bytes, "sample", type);
    EXPECT_EQ(d.profile.points.size(), k.points);
    EXPECT_EQ(d.has_wavelength, k.has_wavelength);
    if (!profile_format(type).holds_wavelength) {
      EXPECT_FALSE(d.has_wavelength);
    }
  }
}

// A kind read as another kind's layout is refused, not misread: the chosen reader is
// the one that runs.
TEST(ProfileFormats, AnotherKindsFileIsRefused) {
  const auto samples = vornax::test::profile_kind_samples();
  const ProfileFileType raw4 = ProfileFileType::BrukerRaw4, rd = ProfileFileType::PhilipsRd;
  EXPECT_THROW(read_profile(samples[0].bytes, "a", raw4), FormatError);  // RAW2 as RAW4
  EXPECT_THROW(read_profile(samples[4].bytes, "a", rd), FormatError);    // columns as RD
  EXPECT_THROW(read_profile(samples[4].bytes, "a", ProfileFileType::RietveldDat), FormatError);
  // The older RAW kind takes a RAW4 file by its signature, as it always has.
  EXPECT_EQ(read_profile(samples[5].bytes, "a", ProfileFileType::BrukerRaw).profile.points.size(), 3u);
}

TEST(ProfileFormats, WritableKindsWriteWhatTheyRead) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("vornax_profile_formats_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  Profile p = read_profile(vornax::test::profile_kind_samples()[4].bytes, "s.xy",
                           ProfileFileType::Column).profile;
  p.wavelengths.lambda = p.wavelengths.lambda1 = 1.5406;
  int written = 0;
  for (const ProfileFormat& f : kProfileFormats) {
    SCOPED_TRACE(f.dialog_filter);
    const auto path = dir / ("out" + std::string(f.extensions[0].name));
    if (!f.writable) {
      EXPECT_THROW(write_profile_file(path, f.type, p, "t", 10), FormatError);
      continue;
    }
    ++written;
    write_profile_file(path, f.type, p, "t", 10);
    const Profile back = read_profile_file(path, f.type).profile;
    ASSERT_EQ(back.points.size(), 3u);
    EXPECT_NEAR(back.points[2].two_theta, 10.04, 1e-4);
    EXPECT_NEAR(back.points[1].intensity, 50, 1e-3);  // counts 100, 200, 300
  }
  EXPECT_EQ(written, 2);  // RAW2 and CPI
  std::filesystem::remove_all(dir);
}

// ".dat" is both the Rietveld layout and plain columns: with no kind chosen the content
// decides, and only a decision against the first guess (Rietveld) is reported.
TEST(ProfileFormats, DatFilesAreSettledByTheirContent) {
  using T = ProfileFileType;
  struct Case {
    const char* what;
    std::string text;
    T expected;
    bool by_content;
  };
  const Case cases[] = {
      {"two columns", "10.00 100\n10.02 250\n10.04 180\n", T::Column, true},
      {"three columns with a header", "2theta counts sigma\r\n10.00 100 10\r\n10.02 250 16\r\n",
       T::Column, true},
      {"Rietveld with its SampleIdent line",
       vornax::test::crlf({"SampleIdent Quartz", "", "Alpha1 1.54056", "", "10.0 0.02 10.04",
                           "100 200 300"}),
       T::RietveldDat, false},
      // Counts three to a line, as many as the angle line announces: still Rietveld.
      {"Rietveld without header, three counts a line",
       vornax::test::crlf({"", "", "", "", "10.0 0.5 12.5", "100 200 300", "400 500 600"}),
       T::RietveldDat, false},
      {"Rietveld without header, ten counts a line",
       vornax::test::crlf({"", "", "", "", "10.0 0.1 10.9", "1 2 3 4 5 6 7 8 9 10"}), T::RietveldDat,
       false},
      // Three columns after a blank line: line 5 looks like an angle line, but the
      // counts do not fit it, and the columns rise throughout.
      {"three columns after blank lines",
       "\n\n10.00 100 10\n10.02 250 16\n10.04 180 13\n10.06 90 9\n10.08 60 8\n", T::Column, true},
      {"columns whose angles go back", "10.00 100\n10.02 250\n10.01 180\n", T::RietveldDat, false},
      {"four numbers a line", "10 1 2 3\n11 1 2 3\n", T::RietveldDat, false},
      {"one point only", "10.00 100\n", T::RietveldDat, false},
      {"garbage", "no profile here\n", T::RietveldDat, false},
  };
  for (const Case& c : cases) {
    const ProfileKindChoice k = settle_profile_type(c.text, "scan.dat", std::nullopt);
    EXPECT_EQ(k.type, c.expected) << c.what;
    EXPECT_EQ(k.by_content, c.by_content) << c.what;
    // The kind taken reads the file when the content was recognised.
    if (c.by_content || (c.expected == T::RietveldDat && c.what[0] == 'R')) {
      EXPECT_NO_THROW(read_profile(c.text, "scan.dat", k.type)) << c.what;
    }
  }
}

TEST(ProfileFormats, AChosenKindWinsOverNameAndContent) {
  using T = ProfileFileType;
  const std::string columns = "10 1\n11 2\n";
  for (int n = 1; n <= kProfileKindCount; ++n) {
    const T chosen = *profile_type_from_number(n);
    for (const char* name : {"a.dat", "a.raw", "a.xy", "a"}) {
      const ProfileKindChoice k = settle_profile_type(columns, name, chosen);
      EXPECT_EQ(k.type, chosen) << name;
      EXPECT_FALSE(k.by_content);
    }
  }
  // No choice: one kind per extension is taken as it is; a name no kind knows falls back.
  EXPECT_EQ(settle_profile_type(columns, "a.gsa", std::nullopt).type, T::Gsas);
  EXPECT_EQ(settle_profile_type(columns, "a.asc", std::nullopt, T::BrukerRaw).type, T::BrukerRaw);
  // ".raw" stays the older RAW kind, whose reader follows the RAW4 signature itself.
  const auto raw4 = vornax::test::profile_kind_samples()[5].bytes;
  const ProfileKindChoice r = settle_profile_type(raw4, "a.raw", std::nullopt);
  EXPECT_EQ(r.type, T::BrukerRaw);
  EXPECT_FALSE(r.by_content);
}

}  // namespace
