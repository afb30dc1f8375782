// vornax-cli plot: the written picture is the viewer's drawing. The expected bar
// positions come from the redraw recorded on a test canvas for a session built here by
// hand (silicon reflections computed in the test), and are looked up in the PNG.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <regex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>
#include <zlib.h>

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

// Writes a peak on a sloping background as a column file and puts into `s` the profile
// the reader makes of it (normalised to 0..100).
void write_test_profile(const fs::path& file, vornax::WorkSession& s) {
  std::ofstream f(file);
  s.profile.file_name = file.filename().string();
  std::vector<double> counts;
  for (int i = 0; i <= 4000; ++i) {
    const double tt = 20 + i * 0.02;
    counts.push_back(std::round(50 + tt + 900 * std::exp(-std::pow((tt - 47.3) / 0.15, 2))));
    f << tt << " " << counts.back() << "\n";
  }
  const double lo = *std::min_element(counts.begin(), counts.end());
  const double hi = *std::max_element(counts.begin(), counts.end());
  for (int i = 0; i <= 4000; ++i) {
    vornax::ProfilePoint p;
    p.two_theta = p.two_theta_read = static_cast<float>(20 + i * 0.02);
    p.intensity = static_cast<float>((counts[static_cast<size_t>(i)] - lo) / (hi - lo) * 100);
    s.profile.points.push_back(p);
  }
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

std::string slurp(const fs::path& file) {
  std::ifstream f(file, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

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
  vornax::WorkSession s = expected_session(false);
  write_test_profile(dir / "p.xy", s);
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

// ---- the vector pictures, read back as the strokes they hold --------------------------

// One stroked line through `points`, in the stroke colour (r, g, b 0..255).
struct Stroke {
  std::tuple<int, int, int> color;
  std::vector<std::pair<double, double>> points;
};

std::string attribute(const std::string& tag, const std::string& name) {
  const auto at = tag.find(" " + name + "=\"");
  if (at == std::string::npos) return {};
  const auto from = at + name.size() + 3;
  return tag.substr(from, tag.find('"', from) - from);
}

// The <polyline>s of a QSvgGenerator file, each in the stroke of the <g> around it.
std::vector<Stroke> svg_strokes(const std::string& svg) {
  std::vector<Stroke> out;
  std::tuple<int, int, int> color{-1, -1, -1};
  for (size_t i = svg.find('<'); i != std::string::npos; i = svg.find('<', i + 1)) {
    const std::string tag = svg.substr(i, svg.find('>', i) - i);
    if (tag.rfind("<g ", 0) == 0) {
      const std::string stroke = attribute(tag, "stroke");
      unsigned r = 0, g = 0, b = 0;
      color = std::sscanf(stroke.c_str(), "#%2x%2x%2x", &r, &g, &b) == 3
                  ? std::tuple<int, int, int>(int(r), int(g), int(b))
                  : std::tuple<int, int, int>(-1, -1, -1);
    } else if (tag.rfind("<polyline", 0) == 0) {
      Stroke st{color, {}};
      std::istringstream pts(attribute(tag, "points"));
      double x, y;
      char comma;
      while (pts >> x >> comma >> y) st.points.emplace_back(x, y);
      out.push_back(st);
    }
  }
  return out;
}

// The text of every Flate-compressed stream of a PDF.
std::string pdf_streams(const std::string& pdf) {
  std::string out;
  for (size_t at = pdf.find("/FlateDecode"); at != std::string::npos;
       at = pdf.find("/FlateDecode", at + 1)) {
    size_t from = pdf.find("stream", at);
    if (from == std::string::npos) break;
    from += 6;
    while (from < pdf.size() && (pdf[from] == '\r' || pdf[from] == '\n')) ++from;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) continue;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(pdf.data() + from));
    z.avail_in = static_cast<uInt>(pdf.size() - from);
    char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
      z.next_out = reinterpret_cast<Bytef*>(buf);
      z.avail_out = sizeof buf;
      rc = inflate(&z, Z_NO_FLUSH);
      out.append(buf, sizeof buf - z.avail_out);
    }
    inflateEnd(&z);
    out += '\n';
  }
  return out;
}

// The stroked paths of a PDF's content: "x y m", "x y l" ... "S" in the stroke colour
// "r g b SCN", which q and Q save and restore.
std::vector<Stroke> pdf_strokes(const std::string& content) {
  std::vector<Stroke> out, path;
  std::tuple<int, int, int> color{0, 0, 0};
  std::vector<std::tuple<int, int, int>> saved;
  std::vector<double> operands;
  std::istringstream in(content);
  for (std::string tok; in >> tok;) {
    char* end = nullptr;
    const double v = std::strtod(tok.c_str(), &end);
    if (end && *end == '\0' && end != tok.c_str()) {
      operands.push_back(v);
      continue;
    }
    const size_t n = operands.size();
    if (tok == "q") saved.push_back(color);
    else if (tok == "Q" && !saved.empty()) color = saved.back(), saved.pop_back();
    else if (tok == "SCN" && n >= 3)
      color = {int(std::lround(operands[n - 3] * 255)), int(std::lround(operands[n - 2] * 255)),
               int(std::lround(operands[n - 1] * 255))};
    else if (tok == "m" && n >= 2) path.push_back({color, {{operands[n - 2], operands[n - 1]}}});
    else if (tok == "l" && n >= 2 && !path.empty()) path.back().points.emplace_back(operands[n - 2], operands[n - 1]);
    else if (tok == "S") {
      for (Stroke& st : path) st.color = color;
      out.insert(out.end(), path.begin(), path.end());
      path.clear();
    } else if (tok == "f" || tok == "f*" || tok == "n") path.clear();
    operands.clear();
  }
  return out;
}

std::tuple<int, int, int> rgb(vornax::Color c) { return {c.r, c.g, c.b}; }

// Both vector pictures hold the redraw's own strokes, moved to the pixel centres: the
// calculated (green) and measured (grey) bars segment for segment, the profile point
// for point, and no image. The expected strokes are the redraw recorded on a test
// canvas for the session the command should end with; that session lists one
// reflection per d, so the segments are compared as sets.
TEST_F(CliPlot, SvgAndPdfHoldTheRedrawAsVectorStrokes) {
  vornax::WorkSession s = expected_session(true);
  write_test_profile(dir / "p.xy", s);
  RecordingCanvas rec(kW, kH);
  vornax::DiagramView view;
  vornax::draw_diagram(rec, s, view);
  using Segment = std::tuple<double, double, double, double>;
  std::map<std::tuple<int, int, int>, std::set<Segment>> expected_bars;
  for (vornax::Color c : {vornax::colors::kGreen, vornax::colors::kGrey})
    for (const auto& l : rec.lines_in(c))
      expected_bars[rgb(c)].insert({l.x0 + 0.5, l.y0 + 0.5, l.x1 + 0.5, l.y1 + 0.5});
  ASSERT_EQ(expected_bars[rgb(vornax::colors::kGreen)].size(), fd3m_sums().size());
  ASSERT_EQ(expected_bars[rgb(vornax::colors::kGrey)].size(), 6u);
  ASSERT_EQ(rec.polylines.size(), 2u);  // the frame, then the profile
  std::vector<std::pair<double, double>> expected_curve;
  for (const vornax::Point& p : rec.polylines[1]) expected_curve.emplace_back(p.x + 0.5, p.y + 0.5);

  struct Case {
    const char* name;
    std::string head;
    std::vector<Stroke> (*strokes)(const std::string&);
  } cases[] = {
      {"d.svg", "<svg", svg_strokes},
      {"d.pdf", "%PDF", [](const std::string& pdf) { return pdf_strokes(pdf_streams(pdf)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run("--peaks si.txt --profile p.xy --tolerance 0.1 " + cell() + " --out " + c.name);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string bytes = slurp(dir / c.name);
    EXPECT_NE(bytes.substr(0, 400).find(c.head), std::string::npos);
    // No picture inside the picture.
    EXPECT_EQ(bytes.find("<image"), std::string::npos);
    EXPECT_FALSE(std::regex_search(bytes, std::regex("/Subtype\\s*/Image")));

    const std::vector<Stroke> strokes = c.strokes(bytes);
    std::map<std::tuple<int, int, int>, std::set<Segment>> bars;
    bool curve = false;
    for (const Stroke& st : strokes) {
      if (st.points.size() == 2 && expected_bars.count(st.color))
        bars[st.color].insert({st.points[0].first, st.points[0].second, st.points[1].first,
                               st.points[1].second});
      curve = curve || (st.color == rgb(vornax::colors::kBlack) && st.points == expected_curve);
    }
    EXPECT_EQ(bars, expected_bars);
    EXPECT_TRUE(curve) << "the profile is not one stroke of the recorded points";
  }
}

// The PDF page is the picture at 96 dpi: 800 x 300 pixels make 600 x 225 points.
TEST_F(CliPlot, PdfPageIsThePictureSizeAt96Dpi) {
  const auto r = run(cell() + " --out d.pdf");
  ASSERT_EQ(r.code, 0) << r.err;
  std::smatch m;
  const std::string pdf = slurp(dir / "d.pdf");
  ASSERT_TRUE(std::regex_search(pdf, m, std::regex("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]")));
  EXPECT_DOUBLE_EQ(std::stod(m[1]), kW * 72.0 / 96);
  EXPECT_DOUBLE_EQ(std::stod(m[2]), kH * 72.0 / 96);
}

// Every command but plot runs without the renderer module (and so without Qt); plot
// without it says what is missing and writes nothing.
TEST_F(CliPlot, OnlyPlotNeedsTheRendererModule) {
  const fs::path alone = dir / "alone";
  fs::create_directories(alone);
  fs::copy_file(VORNAX_CLI_PATH, alone / "vornax-cli");
  std::ofstream(dir / "small.xy") << "20 100\n20.05 140\n20.1 120\n";
  const auto call = [&](const std::string& args) {
    const std::string cmd = "cd '" + dir.string() + "' && '" + (alone / "vornax-cli").string() +
                            "' " + args + " > out.txt 2> err.txt";
    const int status = std::system(cmd.c_str());
    return CliRun{WEXITSTATUS(status), slurp(dir / "err.txt")};
  };
  const auto profile = call("profile small.xy --lambda 1.540593");
  EXPECT_EQ(profile.code, 0) << profile.err;
  EXPECT_NE(slurp(dir / "out.txt").find("points 3"), std::string::npos);

  const auto plot = call("plot " + cell() + " --out d.png");
  EXPECT_EQ(plot.code, 1);
  EXPECT_NE(plot.err.find("vornax-plot-renderer.so"), std::string::npos) << plot.err;
  EXPECT_NE(plot.err.find("missing"), std::string::npos) << plot.err;
  EXPECT_FALSE(fs::exists(dir / "d.png"));
  EXPECT_FALSE(fs::exists(dir / "vornax.out"));
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
