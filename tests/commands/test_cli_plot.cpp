// vornax-cli plot: the written picture is the viewer's drawing. The expected bar
// positions come from the redraw recorded on a test canvas for a session built here by
// hand (silicon reflections computed in the test), and are looked up in the PNG.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "core/session.hpp"
#include "viewer/diagram.hpp"
#include "viewer/recording_canvas.hpp"

namespace {

namespace fs = std::filesystem;
using vornax::testing::RecordingCanvas;

constexpr int kW = 800, kH = 300;
constexpr double kA = 5.431194, kLambda = 1.540593;
constexpr double kMin = 20, kMax = 100;

struct CliRun {
  int code;
  std::string err;
};

double two_theta_of(int n) {
  const double pi = std::acos(-1.0);
  return 2 * std::asin(kLambda * std::sqrt(double(n)) / (2 * kA)) * 180 / pi;
}

// h² + k² + l² of the reflections Fd-3m allows inside the range, one per d: the
// F-centring (all odd or all even) and, for all-even indices with a zero among them,
// the d-glide's sum of the other two a multiple of 4 (so 200 and 420 are absent, while
// 222, absent only for atoms on the special position of silicon, is drawn).
std::vector<int> fd3m_sums() {
  std::set<int> sums;
  for (int h = 0; h <= 8; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l) {
        const bool odd = h % 2 && k % 2 && l % 2;
        const bool even = h % 2 == 0 && k % 2 == 0 && l % 2 == 0 &&
                          (l != 0 || (h + k + l) % 4 == 0);
        const int n = h * h + k * k + l * l;
        if (n == 0 || (!odd && !even)) continue;
        const double tt = two_theta_of(n);
        if (tt >= kMin && tt <= kMax) sums.insert(n);
      }
  return {sums.begin(), sums.end()};
}

// Measured peaks near the first six reflections, a little off as measurements are.
struct TestPeak {
  double two_theta, intensity;
};
std::vector<TestPeak> test_peaks() {
  const double off[] = {0.020, -0.010, 0.015, -0.020, 0.010, 0.000};
  const auto sums = fd3m_sums();
  std::vector<TestPeak> out;
  for (size_t i = 0; i < 6; ++i)
    out.push_back({std::round((two_theta_of(sums[i]) + off[i]) * 1000) / 1000, 100.0 - 10 * i});
  return out;
}

// The session the command should end with, for the recorded redraw.
vornax::WorkSession expected_session(bool with_peaks) {
  vornax::WorkSession s;
  s.range_min = kMin;
  s.range_max = kMax;
  s.angle_mode = vornax::AngleMode::TwoTheta;
  for (int n : fd3m_sums()) {
    vornax::CalculatedReflection r;
    r.two_theta = two_theta_of(n);
    s.allowed.push_back(r);
  }
  if (with_peaks) {
    const auto sums = fd3m_sums();
    const auto peaks = test_peaks();
    for (size_t i = 0; i < peaks.size(); ++i) {
      vornax::MeasuredPeak p;
      p.two_theta = p.two_theta_read = peaks[i].two_theta;
      p.intensity = peaks[i].intensity;
      s.measured.peaks.push_back(p);
      vornax::SelectedPair pair;
      pair.two_theta_obs = static_cast<float>(peaks[i].two_theta);
      pair.two_theta_calc = static_cast<float>(two_theta_of(sums[i]));
      s.selected.push_back(pair);
    }
  }
  return s;
}

std::set<int> xs_of(const std::vector<vornax::testing::RecordedLine>& lines) {
  std::set<int> out;
  for (const auto& l : lines) out.insert(l.x0);
  return out;
}

// Columns of row y (inside the frame) whose pixel satisfies `pred`.
template <typename Pred>
std::set<int> columns_where(const QImage& img, int y, Pred pred) {
  std::set<int> out;
  for (int x = 1; x < img.width() - 1; ++x)
    if (pred(QColor(img.pixel(x, y)))) out.insert(x);
  return out;
}

bool is(const QColor& c, int r, int g, int b) { return c.red() == r && c.green() == g && c.blue() == b; }

class CliPlot : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vornax_cli_plot_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream peaks(dir / "si.txt");
    for (const TestPeak& p : test_peaks()) peaks << p.two_theta << " " << p.intensity << "\n";
  }
  void TearDown() override { fs::remove_all(dir); }
  CliRun run(const std::string& args) {
    const std::string cmd = "cd '" + dir.string() + "' && '" + VORNAX_CLI_PATH + "' plot " + args +
                            " > out.txt 2> err.txt";
    const int status = std::system(cmd.c_str());
    std::ifstream f(dir / "err.txt");
    std::stringstream ss;
    ss << f.rdbuf();
    return {WEXITSTATUS(status), ss.str()};
  }
  std::string cell() const {
    return "--system CUBI --group 'F d -3 m:2' --cell 5.431194 5.431194 5.431194 90 90 90 "
           "--lambda 1.540593 --range 20 100 --size " + std::to_string(kW) + " " + std::to_string(kH);
  }
  fs::path dir;
};

TEST_F(CliPlot, BarsAndPairsLieWhereTheRecordedRedrawPutsThem) {
  const auto r = run("--peaks si.txt --tolerance 0.1 " + cell() + " --out d.png");
  ASSERT_EQ(r.code, 0) << r.err;
  QImage img((dir / "d.png").c_str());
  ASSERT_EQ(img.size(), QSize(kW, kH));

  vornax::WorkSession s = expected_session(true);
  RecordingCanvas rec(kW, kH);
  vornax::DiagramView view;
  vornax::draw_diagram(rec, s, view);
  ASSERT_TRUE(view.mapping);
  const auto green = xs_of(rec.lines_in(vornax::colors::kGreen));
  const auto grey = xs_of(rec.lines_in(vornax::colors::kGrey));
  ASSERT_EQ(green.size(), fd3m_sums().size());
  ASSERT_EQ(grey.size(), 6u);

  // Under the pair numbers, only the calculated bars: green exactly at their columns.
  EXPECT_EQ(columns_where(img, kH - 3, [](QColor c) { return is(c, 0, 128, 0); }), green);
  // Near the top, only the measured bars (grey, or black up to a full-height peak).
  EXPECT_EQ(columns_where(img, 5, [](QColor c) { return c != QColor(Qt::white); }), grey);
  // The pairs of the automatic selection: blue from the axis up to the numbers.
  const int mid = (15 + view.mapping->axis_y()) / 2;
  std::set<int> blue_up;
  for (const auto& l : rec.lines_in(vornax::colors::kBlue))
    if (l.y1 == 15) blue_up.insert(l.x0);
  EXPECT_EQ(blue_up, grey);
  for (int x : blue_up) EXPECT_TRUE(is(QColor(img.pixel(x, mid)), 0, 0, 255)) << x;
  // No difference curve without a refinement.
  EXPECT_TRUE(columns_where(img, kH - 25, [](QColor c) { return is(c, 255, 0, 255); }).empty());
}

TEST_F(CliPlot, RefinementAddsTheDifferenceCurveAtEachPair) {
  const auto r = run("--peaks si.txt --tolerance 0.1 --refine a,shift " + cell() + " --out r.png");
  ASSERT_EQ(r.code, 0) << r.err;
  QImage img((dir / "r.png").c_str());
  ASSERT_FALSE(img.isNull());
  RecordingCanvas rec(kW, kH);
  vornax::WorkSession s = expected_session(true);
  vornax::DiagramView view;
  vornax::draw_diagram(rec, s, view);
  const auto grey = xs_of(rec.lines_in(vornax::colors::kGrey));
  // Each pair's residual bar starts on the baseline at its observed column.
  const int baseline = kH - vornax::kDifferenceBaselineFromBottom;
  for (int x : grey) EXPECT_TRUE(is(QColor(img.pixel(x, baseline)), 255, 0, 255)) << x;
  EXPECT_TRUE(fs::exists(dir / "vornax.out"));
}

TEST_F(CliPlot, ProfileIsTheRecordedPolyline) {
  // A peak on a sloping background, normalised by the reader to 0..100.
  std::ofstream f(dir / "p.xy");
  vornax::WorkSession s = expected_session(false);
  s.profile.file_name = "p.xy";
  std::vector<double> counts;
  for (int i = 0; i <= 4000; ++i) {
    const double tt = 20 + i * 0.02;
    counts.push_back(std::round(50 + tt + 900 * std::exp(-std::pow((tt - 47.3) / 0.15, 2))));
    f << tt << " " << counts.back() << "\n";
  }
  f.close();
  const double lo = *std::min_element(counts.begin(), counts.end());
  const double hi = *std::max_element(counts.begin(), counts.end());
  for (int i = 0; i <= 4000; ++i) {
    vornax::ProfilePoint p;
    p.two_theta = p.two_theta_read = static_cast<float>(20 + i * 0.02);
    p.intensity = static_cast<float>((counts[static_cast<size_t>(i)] - lo) / (hi - lo) * 100);
    s.profile.points.push_back(p);
  }
  const auto r = run("--profile p.xy " + cell() + " --out p.png");
  ASSERT_EQ(r.code, 0) << r.err;
  QImage img((dir / "p.png").c_str());
  ASSERT_FALSE(img.isNull());
  RecordingCanvas rec(kW, kH);
  vornax::DiagramView view;
  vornax::draw_diagram(rec, s, view);
  ASSERT_EQ(rec.polylines.size(), 2u);  // the frame, then the profile
  const auto& curve = rec.polylines[1];
  ASSERT_GT(curve.size(), 100u);
  int black = 0;
  for (const vornax::Point& p : curve) black += QColor(img.pixel(p.x, p.y)) == QColor(Qt::black);
  EXPECT_EQ(black, static_cast<int>(curve.size()));
}

TEST_F(CliPlot, PdfAndSvgAreWritten) {
  for (const char* name : {"d.pdf", "d.svg"}) {
    const auto r = run(cell() + " --out " + name);
    ASSERT_EQ(r.code, 0) << name << r.err;
    std::ifstream f(dir / name, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string head = ss.str().substr(0, 400);
    EXPECT_NE(head.find(std::string(name) == "d.pdf" ? "%PDF" : "<svg"), std::string::npos) << head;
  }
}

TEST_F(CliPlot, BadRequestsWriteNothing) {
  struct Case {
    std::string args;
    int code;
  } cases[] = {
      {cell() + " --out d.bmp", 2},                                  // unknown picture kind
      {cell(), 2},                                                   // no --out
      {cell() + " --out d.png --size 3 300", 2},                     // too narrow to draw
      {cell() + " --out d.png --size 800 999999", 2},                // absurdly large
      {"--refine a " + cell() + " --out d.png", 2},                  // refine without peaks
      {"--profile missing.xy " + cell() + " --out d.png", 1},        // unreadable profile
      {"--peaks si.txt --refine a,zz " + cell() + " --out d.png", 2}, // unknown parameter
  };
  for (const Case& c : cases) {
    const auto r = run(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
    EXPECT_FALSE(r.err.empty()) << c.args;
    EXPECT_FALSE(fs::exists(dir / "d.png")) << c.args;
  }
}

}  // namespace
