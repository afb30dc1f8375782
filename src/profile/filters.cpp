#include "profile/filters.hpp"

#include <array>
#include <cstddef>

namespace vornax {

namespace {

struct FilterRow {
  std::array<int, 13> c;  // the first 2H+1 entries are used
  int norm;
};

// [order][window index - 1]. Smoothing: quadratic/cubic; first derivative: quadratic;
// second derivative: quadratic/cubic.
constexpr FilterRow kTables[3][5] = {
    {
        {{-3, 12, 17, 12, -3}, 35},
        {{-2, 3, 6, 7, 6, 3, -2}, 21},
        {{-21, 14, 39, 54, 59, 54, 39, 14, -21}, 231},
        {{-36, 9, 44, 69, 84, 89, 84, 69, 44, 9, -36}, 429},
        {{-11, 0, 9, 16, 21, 24, 25, 24, 21, 16, 9, 0, -11}, 143},
    },
    {
        {{-2, -1, 0, 1, 2}, 10},
        {{-3, -2, -1, 0, 1, 2, 3}, 28},
        {{-4, -3, -2, -1, 0, 1, 2, 3, 4}, 60},
        {{-5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5}, 110},
        {{-6, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6}, 182},
    },
    {
        {{2, -1, -2, -1, 2}, 7},
        {{5, 0, -3, -4, -3, 0, 5}, 42},
        {{28, 7, -8, -17, -20, -17, -8, 7, 28}, 462},
        {{15, 6, -1, -6, -9, -10, -9, -6, -1, 6, 15}, 429},
        {{22, 11, 2, -5, -10, -13, -14, -13, -10, -5, 2, 11, 22}, 1001},
    },
};

}  // namespace

bool savitzky_golay(std::span<const double> in, int window_index, int order,
                    std::span<double> out) {
  if (window_index < kMinWindowIndex || window_index > kMaxWindowIndex) return false;
  if (order < 0 || order > 2) return false;
  const FilterRow& row = kTables[order][window_index - 1];
  const size_t h = static_cast<size_t>(window_index) + 1;
  const size_t width = 2 * h + 1;
  const size_t n = in.size() < out.size() ? in.size() : out.size();

  for (size_t i = 0; i < n; ++i) out[i] = 0;
  // Too short for one full window: nothing can be computed, and the end copy would
  // have no value to copy.
  if (n < width) return true;

  const double norm = row.norm;
  for (size_t i = h; i + h < n; ++i) {
    const double* x = in.data() + (i - h);
    double sum = 0;
    for (size_t m = 0; m < width; ++m) sum += x[m] * row.c[m];
    out[i] = sum / norm;
  }
  for (size_t i = 0; i < h; ++i) {
    out[i] = out[h];
    out[n - 1 - i] = out[n - 1 - h];
  }
  return true;
}

std::vector<double> smooth_13(std::span<const double> in) {
  std::vector<double> out(in.size());
  savitzky_golay(in, kPeakSearchWindow, static_cast<int>(FilterOrder::Smooth), out);
  return out;
}

std::vector<double> second_derivative_13(std::span<const double> in) {
  std::vector<double> out(in.size());
  savitzky_golay(in, kPeakSearchWindow, static_cast<int>(FilterOrder::SecondDerivative), out);
  return out;
}

}  // namespace vornax
