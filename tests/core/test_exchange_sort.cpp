// The fast exchange sort against the procedure written out literally: the same order,
// ties included, on lists built to have many ties and on awkward shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/exchange_sort.hpp"

using namespace vornax;

namespace {

struct Entry {
  double key;
  int tag;  // original position: shows where each of a set of ties ended up
  bool operator==(const Entry&) const = default;
};

template <typename OutOfOrder>
std::vector<Entry> literal(std::vector<Entry> v, OutOfOrder ooo) {
  for (size_t i = 0; i + 1 < v.size(); ++i)
    for (size_t j = i + 1; j < v.size(); ++j)
      if (ooo(v[i], v[j])) std::swap(v[i], v[j]);
  return v;
}

std::vector<Entry> tagged(const std::vector<double>& keys) {
  std::vector<Entry> v;
  for (size_t i = 0; i < keys.size(); ++i) v.push_back({keys[i], static_cast<int>(i)});
  return v;
}

const auto kDecreasing = [](const Entry& a, const Entry& b) { return a.key < b.key; };
const auto kIncreasing = [](const Entry& a, const Entry& b) { return a.key > b.key; };

}  // namespace

TEST(ExchangeSort, SameOrderAsTheLiteralProcedureOnRandomListsWithTies) {
  std::mt19937 rng(7);
  int lists = 0;
  for (int size : {0, 1, 2, 3, 31, 32, 33, 64, 100, 257, 1000, 3000}) {
    for (int distinct : {1, 2, 3, 10, 1000000}) {
      for (int round = 0; round < 4; ++round) {
        std::uniform_int_distribution<int> pick(0, distinct - 1);
        std::vector<double> keys(static_cast<size_t>(size));
        for (double& k : keys) k = pick(rng) * 0.25;
        const auto v = tagged(keys);
        auto fast = v;
        exchange_sort(fast, kDecreasing);
        ASSERT_EQ(fast, literal(v, kDecreasing)) << size << " entries, " << distinct << " values";
        fast = v;
        exchange_sort(fast, kIncreasing);
        ASSERT_EQ(fast, literal(v, kIncreasing)) << size << " entries, " << distinct << " values";
        ++lists;
      }
    }
  }
  EXPECT_EQ(lists, 12 * 5 * 4);
}

TEST(ExchangeSort, SameOrderOnShapedLists) {
  // Runs that rise, fall, saw-tooth and plateau: the chain of successive maxima is long
  // in some, empty in others.
  std::vector<std::pair<const char*, std::vector<double>>> cases;
  std::vector<double> rising, falling, saw, plateau, organ;
  for (int i = 0; i < 600; ++i) {
    rising.push_back(i);
    falling.push_back(-i);
    saw.push_back(i % 7);
    plateau.push_back(i / 50);
    organ.push_back(i % 2 ? i : -i);
  }
  cases = {{"rising", rising}, {"falling", falling}, {"saw", saw}, {"plateau", plateau},
           {"organ pipe", organ}};
  for (const auto& [name, keys] : cases) {
    const auto v = tagged(keys);
    auto fast = v;
    exchange_sort(fast, kDecreasing);
    EXPECT_EQ(fast, literal(v, kDecreasing)) << name;
  }
}

TEST(ExchangeSort, TiesAreNotKeptInTheirFirstOrder) {
  // The procedure is not stable, and that is the behaviour to keep: with keys
  // 1 2 2 (decreasing wanted), step 1 exchanges 1 with the first 2 only, then the
  // second 2 stays behind 1 until step 2, giving tags 1 2 0.
  auto v = tagged({1, 2, 2});
  std::vector<Entry> big = v;
  for (int i = 0; i < 60; ++i) big.push_back({0, 3 + i});  // past the literal-size shortcut
  exchange_sort(big, kDecreasing);
  EXPECT_EQ(big[0].tag, 1);
  EXPECT_EQ(big[1].tag, 2);
  EXPECT_EQ(big[2].tag, 0);
  EXPECT_TRUE(std::is_sorted(big.begin(), big.end(),
                             [](const Entry& a, const Entry& b) { return a.key > b.key; }));
}
