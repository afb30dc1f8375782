// The space groups offered for a found cell, checked against gemmi's reflection
// conditions: the lines of a known structure are generated with gemmi, and every group
// of the cell's system and lattice is offered exactly when gemmi lets an allowed
// reflection fall on each line; the lines a group removes are counted by gemmi too.
// "Use" of a found cell: the cell tab calculates it, or changes nothing when refused.
#include <gtest/gtest.h>

#include <gemmi/symmetry.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>

#include "commands/cell_indexing.hpp"
#include "core/catalogue.hpp"
#include "core/session.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
namespace ix = vornax::indexing;

namespace {

constexpr double kLambda = 1.540593;
constexpr double kTolerance = 0.06;

double two_theta(double q) { return 2 * std::asin(kLambda * std::sqrt(q) / 2) * 180 / std::numbers::pi; }

struct Line {
  double q;
  std::vector<ix::Hkl> hkl;
};

// The distinct lines of the cell up to q_max, each with all its reflections.
std::vector<Line> lines_of(const ix::QMetric& m, double q_max) {
  std::vector<ix::Reflection> all;
  ix::reflections_up_to(m, ix::Centring::P, q_max, all);
  std::sort(all.begin(), all.end(), [](auto& x, auto& y) { return x.q < y.q; });
  std::vector<Line> out;
  for (const auto& r : all) {
    if (out.empty() || r.q - out.back().q > 1e-9 * r.q) out.push_back({r.q, {}});
    out.back().hkl.push_back(r.hkl);
  }
  return out;
}

bool present(const gemmi::GroupOps& ops, const Line& line) {
  return std::any_of(line.hkl.begin(), line.hkl.end(), [&](const ix::Hkl& r) {
    return !ops.is_systematically_absent({r.h, r.k, r.l});
  });
}

// A two-fold axis along b or a mirror normal to it.
bool b_unique(const gemmi::GroupOps& ops) {
  for (const gemmi::Op& op : ops.sym_ops) {
    const auto& r = op.rot;
    const int d = gemmi::Op::DEN;
    if (r[0][1] == 0 && r[1][0] == 0 && r[1][2] == 0 && r[2][1] == 0 && r[0][2] == 0 &&
        r[2][0] == 0 && std::abs(r[1][1]) == d && r[0][0] == -r[1][1] && r[2][2] == -r[1][1])
      return true;
  }
  return false;
}

const ix::BravaisType& type_named(std::string_view symbol) {
  for (const auto& t : ix::bravais_types())
    if (t.symbol == symbol) return t;
  throw std::runtime_error("no Bravais type " + std::string(symbol));
}

}  // namespace

TEST(GroupProposals, AreTheGroupsWhoseConditionsKeepEveryLine) {
  const struct {
    const char* structure;
    const char* bravais;
    ix::CellParams cell;
    const char* group;  // the structure's group, gemmi's name and the list's
  } cases[] = {
      {"silicon", "cF", {5.43119, 5.43119, 5.43119, 90, 90, 90}, "F d -3 m:2"},
      {"rutile", "tP", {4.5937, 4.5937, 2.9587, 90, 90, 90}, "P 42/m n m"},
      {"zincite", "hP", {3.2498, 3.2498, 5.2066, 90, 90, 120}, "P 63 m c"},
      {"corundum", "hR", {4.7588, 4.7588, 12.9910, 90, 90, 120}, "R -3 c:H"},
      {"an orthorhombic P", "oP", {5.5, 7.5, 9.5, 90, 90, 90}, "P n m a"},
      {"a monoclinic P", "mP", {6.1, 7.3, 8.9, 90, 103.5, 90}, "P 1 21/c 1"},
      {"a monoclinic C", "mC", {9.7, 5.6, 7.1, 90, 111.2, 90}, "C 1 2/c 1"},
  };
  WorkSession s;
  s.data_folder = VORNAX_SOURCE_DATA_DIR;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.structure);
    const auto metric = ix::q_metric_of_cell(c.cell);
    ASSERT_TRUE(metric);
    const gemmi::SpaceGroup* truth_group = gemmi::find_spacegroup_by_name(c.group);
    ASSERT_TRUE(truth_group);
    const gemmi::GroupOps truth = truth_group->operations();
    // The structure's first 20 lines, a little off their places and on a zero of 0.02°.
    ix::IndexedCell cell;
    cell.type = type_named(c.bravais);
    cell.cell = c.cell;
    cell.zero = 0.02;
    std::vector<double> observed;
    for (const Line& l : lines_of(*metric, 1.0))
      if (present(truth, l) && observed.size() < 20)
        observed.push_back(two_theta(l.q) + cell.zero + (observed.size() % 2 ? 0.01 : -0.01));
    // An impurity line the cell leaves unindexed constrains no group.
    observed.push_back(observed[3] + 0.41);
    cell.unindexed = {observed.back()};

    const auto proposals = propose_space_groups(s, cell, observed, kLambda, kTolerance);
    ASSERT_FALSE(proposals.empty());
    EXPECT_TRUE(std::is_sorted(proposals.begin(), proposals.end(),
                               [](auto& x, auto& y) { return x.removed > y.removed; }));

    // The oracle: every group of the list of the cell's lattice that gemmi reads.
    WorkSession g;
    g.system = cell_tab_system(cell);
    g.data_folder = s.data_folder;
    CellTab tab;
    fill_hm_list(g, tab);
    const double q_last = [&] {
      const double t = (observed[observed.size() - 2] - cell.zero + kTolerance) / 2 * std::numbers::pi / 180;
      return 4 * std::sin(t) * std::sin(t) / (kLambda * kLambda);
    }();
    const auto lines = lines_of(*metric, q_last);
    int compared = 0;
    bool truth_offered = false;
    for (const std::string& symbol : tab.hm_list) {
      if (symbol.empty() || symbol[0] != cell_tab_lattice_letter(cell)) continue;
      const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(symbol);
      const auto offered = std::find_if(proposals.begin(), proposals.end(),
                                        [&](auto& p) { return p.symbol == symbol; });
      if (!sg) continue;
      const gemmi::GroupOps ops = sg->operations();
      if (cell.type.system == CrystalSystemId::Monoclinic && !b_unique(ops)) {
        EXPECT_EQ(offered, proposals.end()) << symbol << " is not b-unique";
        continue;
      }
      ++compared;
      std::vector<double> allowed;
      int lattice_lines = 0, removed = 0;
      for (const Line& l : lines) {
        const bool lattice = std::any_of(l.hkl.begin(), l.hkl.end(), [&](const ix::Hkl& r) {
          return ix::centring_allows(cell.type.centring, r.h, r.k, r.l);
        });
        lattice_lines += lattice;
        if (present(ops, l)) allowed.push_back(two_theta(l.q));
        else removed += lattice;
      }
      bool keeps = true;
      for (size_t i = 0; i + 1 < observed.size(); ++i)
        keeps &= std::any_of(allowed.begin(), allowed.end(), [&](double t) {
          return std::abs(t - (observed[i] - cell.zero)) <= kTolerance;
        });
      EXPECT_EQ(offered != proposals.end(), keeps) << symbol;
      if (offered != proposals.end()) {
        EXPECT_EQ(offered->removed, removed) << symbol;
        EXPECT_EQ(offered->lines, lattice_lines) << symbol;
      }
      truth_offered |= offered != proposals.end() && sg == truth_group;
    }
    EXPECT_TRUE(truth_offered);
    EXPECT_GE(compared, 1);
  }
}

TEST(UseFoundCell, CalculatesTheCellOrChangesNothing) {
  refine_test::ScratchFolder folder;
  // Corundum's lines (R -3 c on hexagonal axes) as gemmi allows them, from 20 to 90°.
  const ix::CellParams corundum{4.7588, 4.7588, 12.9910, 90, 90, 120};
  const gemmi::GroupOps ops = gemmi::find_spacegroup_by_name("R -3 c:H")->operations();
  WorkSession s;
  reset_session(s, folder.path);
  s.data_folder = VORNAX_SOURCE_DATA_DIR;
  std::vector<double> lines;
  for (const Line& l : lines_of(*ix::q_metric_of_cell(corundum), 1.5))
    if (present(ops, l) && two_theta(l.q) > 20 && two_theta(l.q) < 90) {
      lines.push_back(two_theta(l.q));
      MeasuredPeak p;
      p.two_theta = lines.back();
      s.measured.peaks.push_back(p);
    }
  ASSERT_GE(lines.size(), 10u);
  ix::IndexedCell cell;
  cell.type = type_named("hR");
  cell.cell = corundum;

  // The wavelength and range fields are empty: the cell's wavelength and the peaks' range
  // widened by 2° are taken, and every peak finds a calculated line of the program.
  {
    WorkSession w = s;
    CellTab tab;
    RecordingMessages m;
    const CalcOutcome out = use_found_cell(w, tab, cell, "R -3 c:H", kLambda, m);
    ASSERT_FALSE(out.failed) << (m.log.empty() ? "" : m.log.back().second);
    EXPECT_EQ(w.system, "HEXA");
    EXPECT_EQ(w.symbol, "R -3 C:H");
    EXPECT_NEAR(std::stod(tab.fields[0]), 4.7588, 1e-4);
    EXPECT_NEAR(std::stod(tab.fields[2]), 12.991, 1e-4);
    EXPECT_TRUE(tab.tied[1]);
    EXPECT_NEAR(w.wavelengths.lambda, kLambda, 1e-5);
    EXPECT_NEAR(std::stod(tab.fields[7]), lines.front() - 2, 0.01);
    EXPECT_NEAR(std::stod(tab.fields[8]), lines.back() + 2, 0.01);
    for (double t : lines)
      EXPECT_TRUE(std::any_of(w.allowed.begin(), w.allowed.end(), [&](const CalculatedReflection& r) {
        return std::abs(r.two_theta - t) < 0.01;
      })) << t;
  }

  // Refused: pairs made by hand kept (No), a group the list lacks. Nothing changes.
  const struct {
    const char* what;
    const char* group;
    bool hand_pairs;
  } refusals[] = {{"hand pairs kept", "R -3 c:H", true}, {"unknown group", "R 9 9", false}};
  for (const auto& r : refusals) {
    WorkSession w = s;
    w.system = "CUBI";
    if (r.hand_pairs) w.selected.push_back(SelectedPair{1, 0, 2, 25.6f, 25.6f, 0, 0, 0});
    CellTab tab;
    tab.fields[0] = "5.43";
    RecordingMessages m;
    m.answers.push_back(Answer::No);
    EXPECT_TRUE(use_found_cell(w, tab, cell, r.group, kLambda, m).failed) << r.what;
    EXPECT_EQ(w.system, "CUBI") << r.what;
    EXPECT_EQ(tab.fields[0], "5.43") << r.what;
    EXPECT_EQ(w.selected.size(), r.hand_pairs ? 1u : 0u) << r.what;
    EXPECT_TRUE(w.allowed.empty()) << r.what;
  }
}

TEST(PhaseLines, AreThePrimaryWavelengthsLinesAtItsAngles) {
  // Each peak's plane spacing is that of its own wavelength: the lines handed to the
  // search must give the same d at the wavelength they are indexed with.
  const double mean = 1.5418, k1 = 1.54056, k2 = 1.54439;
  auto peak = [](double t, int code, double sigma) {
    MeasuredPeak p;
    p.two_theta = p.two_theta_read = t;
    p.line_code = code;
    p.sigma = sigma;
    return p;
  };
  auto d_of = [](double t, double lambda) {
    return lambda / (2 * std::sin(t / 2 * std::numbers::pi / 180));
  };
  struct Case {
    const char* what;
    WavelengthSet w;
    std::vector<MeasuredPeak> peaks;
    double lambda;  // the search's
    int left_out;
    std::vector<double> d;  // of the lines kept, in order
  } cases[] = {
      {"unfitted Kα lines stay at the mean λ",
       {mean, k1, k2, 0.5, "Cu"}, {peak(30, 1, 0), peak(40, 1, 0)}, mean, 0,
       {d_of(30, mean), d_of(40, mean)}},
      {"fitted lines sit at Kα1; Kα2, Kβ and WLα rows are left out",
       {mean, k1, k2, 0.5, "Cu"},
       {peak(30, 1, 0.001), peak(30.08, 3, 0.001), peak(27, 4, 0), peak(25, 5, 0), peak(50, 2, 0.002)},
       k1, 3, {d_of(30, k1), d_of(50, k1)}},
      {"an unfitted Kα line beside Kα1 lines keeps its own spacing",
       {mean, k1, k2, 0.5, "Cu"}, {peak(20, 1, 0), peak(60, 2, 0)}, k1, 0,
       {d_of(20, mean), d_of(60, k1)}},
      {"a Kα mean of a known anode stands for its Kα1",
       {mean, 0, 0, 0, ""}, {peak(35, 2, 0), peak(45, 1, 0.003)}, k1, 0,
       {d_of(35, k1), d_of(45, k1)}},
      {"a Kα1 given as the wavelength stays itself",
       {1.540598, 0, 0, 0, ""}, {peak(35, 2, 0), peak(45, 1, 0.003)}, 1.540598, 0,
       {d_of(35, 1.540598), d_of(45, 1.540598)}},
      {"a wavelength of no anode is its own Kα1",
       {0.41326, 0, 0, 0, ""}, {peak(5, 1, 0.0001), peak(9, 2, 0)}, 0.41326, 0,
       {d_of(5, 0.41326), d_of(9, 0.41326)}},
  };
  for (const Case& c : cases) {
    const PhaseLines got = phase_lines(c.peaks, c.w);
    EXPECT_DOUBLE_EQ(got.lambda, c.lambda) << c.what;
    EXPECT_EQ(got.left_out, c.left_out) << c.what;
    ASSERT_EQ(got.two_theta.size(), c.d.size()) << c.what;
    for (size_t i = 0; i < c.d.size(); ++i)
      EXPECT_NEAR(d_of(got.two_theta[i], got.lambda), c.d[i], 1e-9) << c.what << " line " << i;
  }
  // Without any wavelength nothing can be indexed.
  EXPECT_EQ(phase_lines({peak(30, 1, 0)}, WavelengthSet{}).lambda, 0);
}

TEST(PhaseLines, AFileNamedForBothKindsIsReadByItsContent) {
  refine_test::ScratchFolder folder;
  auto write = [](const char* name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  };
  std::string profile = "SiC on Zn, 2theta counts\r\n";
  for (int i = 0; i < 400; ++i) profile += std::to_string(20 + 0.02 * i) + " " + std::to_string(100 + i % 7) + "\r\n";
  write("profile.dat", profile);
  write("peaks.dat", "Sample\tPosition\tHeight\tFWHM\tArea\tInt\r\nqz1\t26.64 3.343 0.1 7 400\r\n");
  write("peaks.dif", "");
  write("list.txt", "20.1\n30.2\n");
  write("scan.xy", profile);
  const struct {
    const char* file;
    bool profile;
  } cases[] = {{"profile.dat", true}, {"peaks.dat", false}, {"peaks.dif", false},
               {"list.txt", false},   {"scan.xy", true}};
  for (const auto& c : cases) EXPECT_EQ(names_a_profile(c.file), c.profile) << c.file;
}
