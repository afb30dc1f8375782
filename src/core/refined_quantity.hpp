// The eight quantities a refinement may adjust, in the one order every array of them
// follows: the "To refine" check boxes, the engine's parameter slots, the standard
// errors kept in the session and the rows of the refinement tab.
#pragma once

#include <array>
#include <cstddef>

namespace vornax {

enum class RefinedQuantity : std::size_t { A, B, C, Alpha, Beta, Gamma, Shift, Lambda };

inline constexpr std::size_t kRefinedQuantities = 8;
// A, B, C, Alpha, Beta, Gamma come first: the cell.
inline constexpr std::size_t kCellQuantities = 6;

constexpr std::size_t index_of(RefinedQuantity q) { return static_cast<std::size_t>(q); }

// One value per refined quantity, indexed by index_of.
template <typename T>
using PerQuantity = std::array<T, kRefinedQuantities>;

// The names the command line takes for them.
inline constexpr PerQuantity<const char*> kQuantityNames = {"a",    "b",     "c",     "alpha",
                                                            "beta", "gamma", "shift", "lambda"};

}  // namespace vornax
