// The simple exchange sort whose order on ties is part of the program's behaviour:
// for i < j, entries i and j are exchanged when out_of_order(entry i, entry j).
#pragma once

#include <utility>
#include <vector>

namespace vornax {

template <typename T, typename OutOfOrder>
void exchange_sort(std::vector<T>& v, OutOfOrder out_of_order) {
  const size_t n = v.size();
  for (size_t i = 0; i + 1 < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      if (out_of_order(v[i], v[j])) std::swap(v[i], v[j]);
}

}  // namespace vornax
