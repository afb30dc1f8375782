// The simple exchange sort whose order on ties is part of the program's behaviour:
// for i < j, entries i and j are exchanged when out_of_order(entry i, entry j).
//
// Done literally that is quadratic in comparisons and, on the nearly rising lists a
// calculation produces, in exchanges too (25 million for 9998 candidates). The same
// order comes out of a direct construction:
//
// Outer step i exchanges the entry at i with the first later entry ranking strictly
// above it, that one with the next entry ranking strictly above, and so on: it rotates
// the chain of successive strict maxima after i. Looking only at the entries ranking
// at or above some K, the entries below K never exchange with them, and each step
// removes the first of them from the rest of the list. So if A are the original
// positions of the entries ranking at or above K and B those ranking strictly above
// K (both ascending), step t frees position a_t and, when a_t < b_t, moves the entry
// of rank K there to position b_t; once B is used up, the entries of rank K leave in
// the order of the positions they hold. With ranks in A, an entry at rank t < |B|
// jumps to rank t + c(t), c(t) being the number of rank-K entries whose original
// position lies before b_t: a step function, so each jump run is taken in one go.
// Entries ranking alone need nothing; a tie group of g costs O(g log n + g²).
//
// `out_of_order` must be a strict weak order (a < b on numbers that are not NaN): it
// says that its second argument ranks above its first.
#pragma once

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <utility>
#include <vector>

namespace vornax {

namespace detail {

// Below this size the literal procedure is as fast as the construction.
inline constexpr size_t kExchangeSortDirectFrom = 32;

// Counts of taken positions, with prefix sums.
class PositionCounts {
 public:
  explicit PositionCounts(size_t n) : tree_(n + 1, 0) {}
  void take(size_t p) {
    for (size_t i = p + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
  }
  // Taken positions before p.
  size_t before(size_t p) const {
    size_t sum = 0;
    for (size_t i = p; i > 0; i -= i & (~i + 1)) sum += tree_[i];
    return sum;
  }

 private:
  std::vector<size_t> tree_;
};

// The order (original positions, first to last) the exchange procedure leaves.
template <typename T, typename OutOfOrder>
std::vector<size_t> exchange_order(const std::vector<T>& v, OutOfOrder& out_of_order) {
  const size_t n = v.size();
  std::vector<size_t> by_rank(n);
  std::iota(by_rank.begin(), by_rank.end(), size_t{0});
  // Highest first; equal entries by original position.
  std::stable_sort(by_rank.begin(), by_rank.end(),
                   [&](size_t a, size_t b) { return out_of_order(v[b], v[a]); });

  std::vector<size_t> order;
  order.reserve(n);
  PositionCounts higher(n);
  size_t higher_count = 0;
  std::vector<size_t> before_b;         // per tie entry: higher entries before it
  std::vector<std::pair<size_t, size_t>> leaving;  // (final rank, original position)
  for (size_t first = 0; first < n;) {
    size_t last = first + 1;
    while (last < n && !out_of_order(v[by_rank[first]], v[by_rank[last]]) &&
           !out_of_order(v[by_rank[last]], v[by_rank[first]]))
      ++last;
    const size_t g = last - first;
    if (g == 1 || higher_count == 0) {
      // Alone, or ranking highest: nothing passes these entries; they leave in order.
      order.insert(order.end(), by_rank.begin() + static_cast<std::ptrdiff_t>(first),
                   by_rank.begin() + static_cast<std::ptrdiff_t>(last));
    } else {
      before_b.resize(g);
      for (size_t j = 0; j < g; ++j) before_b[j] = higher.before(by_rank[first + j]);
      leaving.clear();
      for (size_t j = 0; j < g; ++j) {
        size_t t = before_b[j] + j;  // rank among the entries at or above this one
        // c(t) = number of j' with before_b[j'] <= t; constant between breakpoints.
        size_t c = static_cast<size_t>(
            std::upper_bound(before_b.begin(), before_b.end(), t) - before_b.begin());
        while (t < higher_count) {
          const size_t next_break = c < g ? std::min(before_b[c], higher_count) : higher_count;
          if (t < next_break) {
            const size_t jumps = (next_break - t + c - 1) / c;
            t += jumps * c;
          }
          while (c < g && before_b[c] <= t) ++c;
        }
        leaving.emplace_back(t, by_rank[first + j]);
      }
      std::sort(leaving.begin(), leaving.end());
      for (const auto& [rank, position] : leaving) order.push_back(position);
    }
    for (size_t j = first; j < last; ++j) higher.take(by_rank[j]);
    higher_count += g;
    first = last;
  }
  return order;
}

}  // namespace detail

template <typename T, typename OutOfOrder>
void exchange_sort(std::vector<T>& v, OutOfOrder out_of_order) {
  const size_t n = v.size();
  if (n < detail::kExchangeSortDirectFrom) {
    for (size_t i = 0; i + 1 < n; ++i)
      for (size_t j = i + 1; j < n; ++j)
        if (out_of_order(v[i], v[j])) std::swap(v[i], v[j]);
    return;
  }
  const std::vector<size_t> order = detail::exchange_order(v, out_of_order);
  std::vector<T> sorted;
  sorted.reserve(n);
  for (size_t p : order) sorted.push_back(std::move(v[p]));
  v = std::move(sorted);
}

}  // namespace vornax
