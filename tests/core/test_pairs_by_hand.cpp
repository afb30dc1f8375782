// Which selections hold pairs that only the user's hand could make again.
#include <gtest/gtest.h>

#include <functional>

#include "core/session.hpp"

namespace vornax {
namespace {

TEST(PairsByHand, OnlyPairsNeitherAFileNorTheAutomaticPairingHold) {
  const std::vector<SelectedPair> automatic = {{1, 1, 1, 28.44f, 28.44f, 0, 0},
                                               {2, 2, 0, 47.30f, 47.30f, 0, 0}};
  struct Case {
    const char* what;
    std::function<void(WorkSession&)> change;
    bool by_hand;
  } cases[] = {
      {"as the automatic selection left them", [](WorkSession&) {}, false},
      {"no pairs at all", [](WorkSession& s) { s.selected.clear(); }, false},
      {"a refinement's corrected angles", [](WorkSession& s) {
         s.selected[0].two_theta_obs_shifted = 28.40f;
         s.selected[1].theta_calc_refined = 23.6f;
       }, false},
      {"indices retyped", [](WorkSession& s) { s.selected[1].l = 2; }, true},
      {"a pair added by the mouse", [](WorkSession& s) {
         s.selected.push_back({3, 1, 1, 56.12f, 56.12f, 0, 0});
       }, true},
      {"a pair removed", [](WorkSession& s) { s.selected.pop_back(); }, true},
      {"another peak paired", [](WorkSession& s) { s.selected[0].two_theta_obs = 28.50f; }, true},
      {"removed, then saved in a list", [](WorkSession& s) {
         s.selected.pop_back();
         mark_pairs_on_file(s);
       }, false},
  };
  for (const Case& c : cases) {
    WorkSession s;
    s.selected = automatic;
    mark_pairs_automatic(s);
    c.change(s);
    EXPECT_EQ(holds_pairs_made_by_hand(s), c.by_hand) << c.what;
  }
  // Pairs in a session that never paired automatically were made by hand; a session
  // reset to its start-up values holds none.
  WorkSession fresh;
  fresh.selected = automatic;
  EXPECT_TRUE(holds_pairs_made_by_hand(fresh));
  reset_session(fresh, ".");
  EXPECT_FALSE(holds_pairs_made_by_hand(fresh));
}

}  // namespace
}  // namespace vornax
