// Savitzky-Golay convolution filters: smoothing, first and second derivative over
// windows of 5, 7, 9, 11 or 13 points, with the classic integer coefficient tables.
#pragma once

#include <span>
#include <vector>

namespace vornax {

// Window index w = 1..5 gives 2w+3 points (5, 7, 9, 11, 13).
constexpr int kMinWindowIndex = 1;
constexpr int kMaxWindowIndex = 5;
// The window the peak search uses: 13 points.
constexpr int kPeakSearchWindow = 5;

enum class FilterOrder { Smooth = 0, FirstDerivative = 1, SecondDerivative = 2 };

// Convolves `in` with the (window, order) table into `out` (same size as `in`):
// out[i] = sum of in[i-H..i+H] * c / N for every point with a full window (H = w+1);
// the H points at each end copy the nearest computed value. A profile shorter than
// the window gives all zeros. A window index outside 1..5 or an order outside 0..2
// leaves `out` untouched and returns false. Derivatives are per point, not per degree.
bool savitzky_golay(std::span<const double> in, int window_index, int order,
                    std::span<double> out);

// The two 13-point filters of the peak search.
std::vector<double> smooth_13(std::span<const double> in);
std::vector<double> second_derivative_13(std::span<const double> in);

}  // namespace vornax
