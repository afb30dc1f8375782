// Merging indexed lists into the selection, the selection editor and the list-entry
// window, checked against angles computed here from the metric tensor and operators
// taken from gemmi.
#include <gtest/gtest.h>

#include <cmath>

#include "core/calc_fixtures.hpp"
#include "selection/indexed_lists.hpp"
#include "support/metric.hpp"
#include "support/recording_messages.hpp"

namespace vornax {
namespace {

using testing::gemmi_group;
using testing::gemmi_sym_ops;
using testing::inverse_d2_from_metric;

constexpr double kLambda = 1.540593;

double two_theta(const CellParameters& c, int h, int k, int l) {
  const double d = 1 / std::sqrt(inverse_d2_from_metric(c, h, k, l));
  return 2 * std::asin(kLambda / (2 * d)) * 180 / std::acos(-1.0);
}

// A session with a cell, its group's operators and an allowed list of the given
// reflections (2θ from the metric tensor).
WorkSession session_with(const CellParameters& cell, const std::string& group,
                         const std::string& system,
                         const std::vector<std::array<int, 3>>& allowed) {
  WorkSession s;
  s.cell = cell;
  s.system = system;
  s.wavelengths.lambda = kLambda;
  s.operators = gemmi_sym_ops(gemmi_group(group));
  s.window_min = s.range_min = 10;
  s.window_max = s.range_max = 80;
  for (const auto& [h, k, l] : allowed) {
    CalculatedReflection r;
    r.h = h, r.k = k, r.l = l;
    r.two_theta = two_theta(cell, h, k, l);
    r.d = 1 / std::sqrt(inverse_d2_from_metric(cell, h, k, l));
    s.allowed.push_back(r);
  }
  return s;
}

const CellParameters kCubic{4, 4, 4, 90, 90, 90};
const CellParameters kHexagonal{3, 3, 5, 90, 90, 120};

SelectedPair pair(int h, int k, int l, double obs, double calc) {
  SelectedPair p;
  p.h = static_cast<int32_t>(h), p.k = static_cast<int32_t>(k), p.l = static_cast<int32_t>(l);
  p.two_theta_obs = static_cast<float>(obs);
  p.two_theta_calc = static_cast<float>(calc);
  return p;
}

std::vector<std::array<int, 3>> indices(const std::vector<SelectedPair>& v) {
  std::vector<std::array<int, 3>> out;
  for (const auto& p : v) out.push_back({p.h, p.k, p.l});
  return out;
}

bool same_list(const std::vector<SelectedPair>& a, const std::vector<SelectedPair>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].h != b[i].h || a[i].k != b[i].k || a[i].l != b[i].l ||
        a[i].two_theta_obs != b[i].two_theta_obs || a[i].two_theta_calc != b[i].two_theta_calc)
      return false;
  return true;
}

TEST(IndexTransform, EveryImageKeepsTheDSpacing) {
  struct Case {
    const char* group;
    CellParameters cell;
  };
  const Case cases[] = {{"P 6", kHexagonal},
                        {"P 63/m m c", kHexagonal},
                        {"R -3 m:H", {3, 3, 14, 90, 90, 120}},
                        {"P 1 21/c 1", {5, 6, 7, 90, 101, 90}},
                        {"I a -3 d", {12, 12, 12, 90, 90, 90}}};
  const std::array<int, 3> hkls[] = {{1, 0, 0}, {1, 2, 3}, {-2, 1, 4}, {0, 3, 1}};
  for (const auto& c : cases)
    for (const auto& op : gemmi_sym_ops(gemmi_group(c.group)))
      for (const auto& [h, k, l] : hkls) {
        const auto t = transform_indices(op, h, k, l);
        EXPECT_NEAR(inverse_d2_from_metric(c.cell, t[0], t[1], t[2]),
                    inverse_d2_from_metric(c.cell, h, k, l), 1e-12)
            << c.group << " " << h << k << l;
      }
}

TEST(Merge, InP6AMergedOneZeroZeroKeepsItsOwnAngle) {
  WorkSession s = session_with(kHexagonal, "P 6", "HEXA", {{1, 0, 0}, {1, 1, 0}});
  const double t100 = two_theta(kHexagonal, 1, 0, 0);
  RecordingMessages m;
  ASSERT_TRUE(merge_indexed_entries(s, {{1, 0, 0, t100 + 0.01}}, m).merged);
  ASSERT_EQ(s.selected.size(), 1u);
  EXPECT_NEAR(s.selected[0].two_theta_calc, t100, 1e-4);
  EXPECT_TRUE(m.empty());  // within the tolerance: no question
}

TEST(Merge, SymmetryImageAndHexagonalSwap) {
  // Cubic: (0 -1 0) is an image of (1 0 0); it keeps its own indices.
  WorkSession c = session_with(kCubic, "P m -3 m", "CUBI", {{1, 0, 0}, {1, 1, 0}});
  RecordingMessages m;
  merge_indexed_entries(c, {{0, -1, 0, two_theta(kCubic, 1, 0, 0)}}, m);
  ASSERT_EQ(c.selected.size(), 1u);
  EXPECT_EQ(indices(c.selected)[0], (std::array<int, 3>{0, -1, 0}));
  EXPECT_NEAR(c.selected[0].two_theta_calc, two_theta(kCubic, 1, 0, 0), 1e-4);

  // Hexagonal with the identity only: (1 2 0) finds (2 1 0) through the swap.
  WorkSession h = session_with(kHexagonal, "P 1", "HEXA", {{2, 1, 0}});
  merge_indexed_entries(h, {{1, 2, 0, two_theta(kHexagonal, 2, 1, 0)}}, m);
  ASSERT_EQ(h.selected.size(), 1u);
  EXPECT_NEAR(h.selected[0].two_theta_calc, two_theta(kHexagonal, 2, 1, 0), 1e-4);
  // The same under an orthorhombic system finds nothing and takes its own angle.
  WorkSession o = session_with(kHexagonal, "P 1", "ORTH", {{2, 1, 0}});
  merge_indexed_entries(o, {{1, 2, 0, 50}}, m);
  EXPECT_NEAR(o.selected[0].two_theta_calc, two_theta(kHexagonal, 1, 2, 0), 1e-4);
}

TEST(Merge, ReplacesAnExistingEntryAndSortsTheResult) {
  WorkSession s = session_with(kCubic, "P m -3 m", "CUBI", {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}});
  const double t100 = two_theta(kCubic, 1, 0, 0), t110 = two_theta(kCubic, 1, 1, 0),
               t111 = two_theta(kCubic, 1, 1, 1);
  s.selected = {pair(1, 0, 0, t100, t100), pair(1, 1, 0, t110 - 0.02, t110),
                pair(1, 1, 1, t111, t111)};
  RecordingMessages m;
  // The new (1 1 0), an unmatched (2 0 0), and an entry with 2θ 0 that compaction drops.
  merge_indexed_entries(s, {{2, 0, 0, 48.0}, {1, 1, 0, t110 + 0.03}, {1, 1, 1, 0}}, m);
  EXPECT_EQ(indices(s.selected),
            (std::vector<std::array<int, 3>>{{1, 0, 0}, {1, 1, 0}, {2, 0, 0}}));
  EXPECT_NEAR(s.selected[1].two_theta_obs, t110 + 0.03, 1e-4);
  EXPECT_NEAR(s.selected[2].two_theta_calc, two_theta(kCubic, 2, 0, 0), 1e-4);
}

// Duplicates are removed across the whole list, whichever side they came from: of the
// entries with one h k l only the last in list order stays.
TEST(Merge, DuplicatesGoAcrossTheWholeList) {
  const double t100 = two_theta(kCubic, 1, 0, 0), t110 = two_theta(kCubic, 1, 1, 0);
  struct Case {
    const char* what;
    std::vector<SelectedPair> before;
    std::vector<IndexedEntry> file;
    std::vector<double> kept_obs;  // sorted by 2θ observed
  };
  const Case cases[] = {
      {"two pairs made before the merge",
       {pair(1, 1, 0, t110 - 0.05, t110), pair(1, 1, 0, t110 + 0.05, t110)},
       {{1, 0, 0, t100}},
       {t100, t110 + 0.05}},
      {"twice in the file",
       {},
       {{1, 1, 0, t110 - 0.04}, {1, 0, 0, t100}, {1, 1, 0, t110 + 0.04}},
       {t100, t110 + 0.04}},
      {"both sides",
       {pair(1, 1, 0, t110 - 0.05, t110), pair(1, 1, 0, t110 + 0.05, t110)},
       {{1, 1, 0, t110 + 0.01}},
       {t110 + 0.01}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WorkSession s = session_with(kCubic, "P m -3 m", "CUBI", {{1, 0, 0}, {1, 1, 0}});
    s.selected = c.before;
    RecordingMessages m;
    ASSERT_TRUE(merge_indexed_entries(s, c.file, m).merged);
    ASSERT_EQ(s.selected.size(), c.kept_obs.size());
    for (size_t i = 0; i < c.kept_obs.size(); ++i)
      EXPECT_NEAR(s.selected[i].two_theta_obs, c.kept_obs[i], 1e-4);
  }
}

TEST(Merge, RefusingTheToleranceQuestionRollsBack) {
  for (Answer refusal : {Answer::No, Answer::Cancel}) {
    WorkSession s = session_with(kCubic, "P m -3 m", "CUBI", {{1, 0, 0}, {1, 1, 0}});
    const double t110 = two_theta(kCubic, 1, 1, 0);
    s.selected = {pair(1, 1, 0, t110, t110)};
    const auto before = s.selected;
    RecordingMessages m;
    m.answers = {refusal};
    const auto out = merge_indexed_entries(s, {{1, 0, 0, 10.0}, {1, 1, 0, t110 + 1}}, m);
    EXPECT_FALSE(out.merged);
    EXPECT_TRUE(same_list(s.selected, before));
    ASSERT_EQ(m.texts().size(), 1u);
    EXPECT_EQ(m.texts()[0], kMergeToleranceQuestion);
  }
  // Yes goes on, asking for each pair beyond the tolerance.
  WorkSession s = session_with(kCubic, "P m -3 m", "CUBI", {{1, 0, 0}, {1, 1, 0}});
  RecordingMessages m;
  EXPECT_TRUE(merge_indexed_entries(s, {{1, 0, 0, 10.0}, {1, 1, 0, 60.0}}, m).merged);
  EXPECT_EQ(m.texts().size(), 2u);
  EXPECT_EQ(s.selected.size(), 2u);
}

TEST(Merge, CapacityAndNothingWithoutCalculatedReflections) {
  WorkSession s = session_with(kCubic, "P m -3 m", "CUBI", {{1, 0, 0}});
  for (int i = 0; i < kMaxSelectedPairs - 1; ++i) s.selected.push_back(pair(9, 9, i, 5, 5));
  RecordingMessages m;
  const double t = two_theta(kCubic, 1, 0, 0);
  const auto out = merge_indexed_entries(s, {{1, 0, 0, t}, {0, 1, 0, t}, {0, 0, 1, t}}, m);
  EXPECT_EQ(out.dropped, 2);
  EXPECT_EQ(s.selected_count(), kMaxSelectedPairs);

  WorkSession empty;
  EXPECT_FALSE(merge_indexed_entries(empty, {{1, 0, 0, 20}}, m).merged);
  EXPECT_TRUE(empty.selected.empty());
}

struct EditorFixture : ::testing::Test {
  WorkSession s = session_with(kCubic, "P m -3 m", "CUBI", {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}});
  SelectionEditor ed;
  RecordingMessages m;
  double t110 = two_theta(kCubic, 1, 1, 0);
  void SetUp() override {
    s.selected = {pair(1, 1, 0, t110, t110)};
    ASSERT_TRUE(open_selection_editor(s, ed));
  }
};

TEST_F(EditorFixture, RefusedAddModifKeepsThePair) {
  const EditorBoxes refused[] = {
      {"1", "1", "0", ""},       // empty observed box
      {"1", "1", "0", "abc"},
      {"1", "1", "0", "-3"},
      {"1", "", "0", "30"},      // "indices error"
      {"1", "x", "0", "30"},
      {"9", "9", "9", "30"},     // λ / 2d > 1
      {"0", "0", "0", "30"},     // nothing at all
  };
  const auto before = s.selected;
  for (const auto& b : refused) {
    EXPECT_FALSE(editor_add_modif(s, ed, b, m).added) << b.h << b.k << b.l << b.obs;
    EXPECT_TRUE(same_list(s.selected, before));
  }
  EXPECT_FALSE(ed.modified);
  EXPECT_TRUE(s.indexed_list.empty());
}

TEST_F(EditorFixture, AddModifReplacesSortsAndWidensTheRange) {
  ASSERT_TRUE(editor_add_modif(s, ed, {" 1", "1", "1 ", "38.8"}, m).added);
  ASSERT_TRUE(editor_add_modif(s, ed, {"1", "0", "0", "22.2"}, m).added);
  ASSERT_TRUE(editor_add_modif(s, ed, {"1", "1", "0", "31.7"}, m).added);  // replaces
  EXPECT_EQ(indices(s.selected),
            (std::vector<std::array<int, 3>>{{1, 0, 0}, {1, 1, 0}, {1, 1, 1}}));
  EXPECT_FLOAT_EQ(s.selected[1].two_theta_obs, 31.7f);
  EXPECT_NEAR(s.selected[1].two_theta_calc, t110, 1e-4);
  EXPECT_TRUE(ed.modified);
  EXPECT_EQ(s.indexed_list.size(), 3u);

  // (3 2 0) lies above the window's 80°: the range follows it, 2° beyond.
  const double t310 = two_theta(kCubic, 3, 2, 0);
  ASSERT_GT(t310, 80);
  const auto r = editor_add_modif(s, ed, {"3", "2", "0", "87"}, m);
  EXPECT_TRUE(r.range_changed);
  EXPECT_NEAR(s.range_max, t310 + 2, 1e-4);
  EXPECT_NEAR(s.window_max, t310 + 2, 1e-4);
  EXPECT_NEAR(s.measured.range_max, t310 + 2, 1e-4);
}

TEST_F(EditorFixture, LimitsOf500PairsAnd100Entries) {
  s.selected.clear();
  for (int i = 0; i < kMaxSelectedPairs - 1; ++i) s.selected.push_back(pair(9, 9, i, 5, 5));
  s.selected.push_back(pair(1, 1, 0, t110, t110));
  EXPECT_FALSE(editor_add_modif(s, ed, {"1", "0", "0", "22"}, m).added);
  EXPECT_EQ(m.texts().back(), kTooManyPairsMessage);
  EXPECT_TRUE(editor_add_modif(s, ed, {"1", "1", "0", "31.8"}, m).added);  // a replacement fits

  s.selected.clear();
  s.indexed_list.assign(kMaxIndexedEntries, IndexedEntry{7, 7, 7, 50});
  EXPECT_FALSE(editor_add_modif(s, ed, {"1", "0", "0", "22"}, m).added);
  EXPECT_EQ(m.texts().back(), kTooManyIndexedMessage);
  EXPECT_TRUE(s.selected.empty());
}

TEST_F(EditorFixture, RestoreCancelAndOk) {
  editor_add_modif(s, ed, {"1", "0", "0", "22.2"}, m);
  editor_restore(s, ed);
  EXPECT_EQ(s.selected.size(), 1u);
  editor_add_modif(s, ed, {"1", "1", "0", "33"}, m);
  editor_cancel(s, ed);
  EXPECT_FALSE(ed.open);
  EXPECT_FLOAT_EQ(s.selected[0].two_theta_obs, static_cast<float>(t110));

  // OK closes even with an empty list, and asks to save only a modified, non-empty one.
  open_selection_editor(s, ed);
  s.selected.clear();
  m.clear();
  EXPECT_FALSE(editor_ok(s, ed, m));
  EXPECT_FALSE(ed.open);
  EXPECT_TRUE(m.empty());
  open_selection_editor(s, ed);
  editor_add_modif(s, ed, {"1", "0", "0", "22.2"}, m);
  m.clear();
  m.answers = {Answer::Yes};
  EXPECT_TRUE(editor_ok(s, ed, m));
  EXPECT_EQ(m.texts(), std::vector<std::string>{"Do you want to save the indexed list?"});
}

TEST_F(EditorFixture, CalcBoxAndDelete) {
  const auto text = editor_calc_text(s, {"1", "0", "0", ""}, m);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, format_fixed(two_theta(kCubic, 1, 0, 0), 8, 3));
  EXPECT_FALSE(editor_calc_text(s, {"", "0", "0", ""}, m));
  EXPECT_EQ(m.texts().back(), "indices error");
  EXPECT_TRUE(delete_pair(s, 1, 1, 0));
  EXPECT_FALSE(delete_pair(s, 1, 1, 0));
}

using Rows = std::vector<std::array<std::string, 4>>;

TEST(EntryWindow, ReadsToTheFirstIncompleteRowAndCapsTheRange) {
  WorkSession s;
  RecordingMessages m;
  const Rows rows = {{"1", "1", "0", "150.5"}, {"2", "0", "0", "179.95"},
                     {"1", "0", "0", "20.25"}, {"1", "1", "", "30"}, {"3", "0", "0", "60"}};
  const auto list = read_entered_list(rows, " 1.540593 ", m);
  ASSERT_TRUE(list);
  commit_entered_list(s, *list);
  ASSERT_EQ(s.measured_count(), 3);
  EXPECT_EQ(s.indexed_list.size(), 3u);
  EXPECT_DOUBLE_EQ(s.measured.peaks[2].two_theta_read, 20.25);
  EXPECT_DOUBLE_EQ(s.measured.peaks[0].intensity, 100);
  EXPECT_DOUBLE_EQ(s.wavelengths.lambda, 1.540593);
  EXPECT_DOUBLE_EQ(s.measured.wavelengths.lambda, 1.540593);
  // Smallest and largest, not first and last; 180.05 is capped everywhere.
  EXPECT_NEAR(s.range_min, 20.15, 1e-9);
  EXPECT_NEAR(s.window_min, 20.15, 1e-9);
  EXPECT_DOUBLE_EQ(s.measured.range_max, 179);
  EXPECT_DOUBLE_EQ(s.range_max, 179);
  EXPECT_DOUBLE_EQ(s.window_max, 179);
}

TEST(EntryWindow, RefusedInputChangesNothing) {
  struct Case {
    Rows rows;
    const char* wavelength;
    const char* message;  // nullptr: nothing said
  };
  const Case cases[] = {
      {{{"1", "0", "0", "20"}}, "  ", "No wavelength!"},
      {{{"1", "0", "0", "20"}}, "1.5x", "Wavelength error"},
      {{{"1", "0", "0", "20"}, {"1", "1", "0", "2O"}}, "1.54", "Type error"},
      {{{"1", "0.5", "0", "20"}}, "1.54", "Type error"},
      {{{"", "", "", ""}, {"1", "0", "0", "20"}}, "1.54", nullptr},  // no complete row
      {{}, "1.54", nullptr},
  };
  for (const auto& c : cases) {
    RecordingMessages m;
    EXPECT_FALSE(read_entered_list(c.rows, c.wavelength, m));
    if (c.message) EXPECT_EQ(m.texts(), std::vector<std::string>{c.message});
    else EXPECT_TRUE(m.empty());
  }
}

TEST(EntryWindow, The101stRowGetsAMessage) {
  Rows rows;
  for (int i = 1; i <= 101; ++i) rows.push_back({std::to_string(i), "0", "0", "10"});
  RecordingMessages m;
  const auto list = read_entered_list(rows, "1.54", m);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->entries.size(), 100u);
  EXPECT_EQ(m.texts(), std::vector<std::string>{kTooManyIndexedMessage});
}

}  // namespace
}  // namespace vornax
