// The one road from peaks to a refined cell: its record against a known cell, its JSON,
// and its rule on what may be refined, which every client of the road must give.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <string>

#include "support/silicon_start.hpp"
#include "commands/refinement_road.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;
using refine_test::ScratchFolder;
using namespace vornax::testing;

// Exact peaks of silicon with a zero shift: the road gives back the cell and the shift,
// every pair, and a JSON that carries the record's numbers unchanged.
TEST(RefinementRoad, RecordsTheKnownCellAndItsJsonCarriesIt) {
  ScratchFolder folder;
  RecordingMessages m;
  WorkSession s;
  CellTab tab;
  const SessionStart start = silicon_start();
  ASSERT_TRUE(start_session(s, tab, start, m));
  for (const auto& hkl : kSiHkl) {
    const double tt = silicon_two_theta(hkl);
    s.measured.peaks.push_back({tt, tt, 100, 0});
  }
  RoadSettings road;
  road.tolerance = "0.3";
  road.keys = parse_refine_keys("a,shift");
  road.inputs = {start.lambda, "0"};
  const RefinementRecord r = run_refinement_road(s, tab, start, road, m);
  ASSERT_EQ(r.status, RoadStatus::Refined) << r.message;
  EXPECT_NEAR(r.values[index_of(RefinedQuantity::A)], kSiA, 2e-5);
  EXPECT_NEAR(r.values[index_of(RefinedQuantity::Shift)], kShift, 2e-4);
  EXPECT_GT(r.errors[index_of(RefinedQuantity::A)], 0);
  EXPECT_EQ(r.errors[index_of(RefinedQuantity::B)], 0);
  EXPECT_NEAR(r.volume, kSiA * kSiA * kSiA, 1e-3);
  ASSERT_EQ(r.pairs.size(), std::size(kSiHkl));
  for (size_t i = 0; i < r.pairs.size(); ++i) {
    EXPECT_EQ(r.pairs[i].h * r.pairs[i].h + r.pairs[i].k * r.pairs[i].k + r.pairs[i].l * r.pairs[i].l,
              kSiHkl[i][0] * kSiHkl[i][0] + kSiHkl[i][1] * kSiHkl[i][1] + kSiHkl[i][2] * kSiHkl[i][2]);
    EXPECT_NEAR(r.pairs[i].two_theta_obs_shifted - r.pairs[i].two_theta_calc, 0, 5e-4);
  }

  const auto j = nlohmann::json::parse(record_json(s, r));
  EXPECT_EQ(j["values"]["a"]["value"].get<double>(), r.values[0]);
  EXPECT_EQ(j["values"]["volume"]["error"].get<double>(), r.volume_error);
  EXPECT_EQ(j["shift_model"], "constant");
  EXPECT_EQ(j["pairs"].size(), r.pairs.size());
}

// A quantity the crystal system ties or fixes is refused with its reason, by the
// command line's refine, plot and series alike; the start's own errors are named.
TEST(RefinementRoad, EveryClientRefusesTiedOrFixedQuantitiesAlike) {
  ScratchFolder folder;
  {
    std::ofstream peaks("si.txt");
    for (const auto& hkl : kSiHkl) peaks << silicon_two_theta(hkl) << " 100\n";
    // A small profile of Gaussian lines at the same angles, for series.
    std::ofstream xy("si.xy");
    for (int j = 0; j <= 12000; ++j) {
      const double t = 20 + 0.01 * j;
      double y = 10;
      for (const auto& hkl : kSiHkl) y += 1000 * std::exp(-4 * std::log(2) * std::pow((t - silicon_two_theta(hkl)) / 0.1, 2));
      xy << t << ' ' << y << '\n';
    }
  }
  const std::string cell =
      " --system CUBI --group 'F d -3 m:2' --cell 5.428 5.428 5.428 90 90 90 --lambda 1.540593 "
      "--range 20 140 --tolerance 0.3 ";
  const std::string clients[] = {"refine --peaks si.txt" + cell,
                                 "plot --peaks si.txt --out d.png" + cell,
                                 "series --profiles si.xy --out t.csv --force" + cell};
  struct Case {
    const char* keys;
    const char* says;
  };
  const Case cases[] = {
      {"a,b", "b is tied to a in this crystal system (CUBI); refine a instead"},
      {"gamma", "gamma is fixed in this crystal system (CUBI)"},
  };
  for (const std::string& client : clients)
    for (const Case& c : cases) {
      const auto r = vornax::testing::run_vornax_cli(client + "--refine " + c.keys);
      EXPECT_NE(r.code, 0) << client << c.keys;
      EXPECT_NE(r.err.find(c.says), std::string::npos) << client << c.keys << "\n" << r.err;
    }
}

TEST(RefinementRoad, StartNamesWhatItCannotUse) {
  ScratchFolder folder;
  struct Case {
    void (*change)(SessionStart&);
    const char* says;
  };
  const Case cases[] = {
      {[](SessionStart& s) { s.group = "Q 9"; }, "Q 9"},
      {[](SessionStart& s) { s.cell_file = "x.cry", s.lambda = "abc"; }, "Error at lambda"},
      {[](SessionStart& s) { s.cell_file = "x.cry", s.range_max = "-"; }, "Error at Theta Max."},
  };
  for (const Case& c : cases) {
    RecordingMessages m;
    WorkSession s;
    CellTab tab;
    SessionStart start = silicon_start();
    c.change(start);
    if (!start.cell_file.empty()) start.system = start.group = "", start.cell = {};
    EXPECT_FALSE(start_session(s, tab, start, m)) << c.says;
    ASSERT_FALSE(m.log.empty()) << c.says;
    EXPECT_EQ(m.log.front().first, RecordingMessages::Kind::Error);
    EXPECT_NE(m.log.front().second.find(c.says), std::string::npos) << m.log.front().second;
  }
}
