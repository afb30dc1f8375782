// Calculated reflections: every h k l inside the working window that the lattice and
// the space-group operators allow (or exclude), with d and 2θ for the current lambda.
#pragma once

#include <string_view>
#include <vector>

#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

// The candidate store of one run holds at most this many reflections; reaching one
// more ends the run with an empty list.
constexpr int kMaxCandidates = 9998;

constexpr const char* kTooManyReflections =
    "Too many calculated reflections. Decrease the theta range";

// Fills s.allowed (mark 0), sorted by decreasing d, one reflection per set of
// equivalent indices. Empties the forbidden and merged lists and puts the
// forbidden-lines toggle down (s.show_forbidden = false). Forces the lattice letter to
// 'P' for the hexagonal system (R symbols are handled by is_extinct). On the candidate limit shows
// kTooManyReflections and leaves s.allowed empty; so does a window whose index box is
// too large to enumerate in reasonable time. A cell whose metric is not finite (angles
// that make the volume imaginary) gives "Cell parameters error!" and an empty list
// instead of undefined index limits. The window is taken within 0 .. 180 degrees 2θ,
// and a wavelength that is not positive gives an empty list.
// Preconditions as the calculation checks them: lambda != 0, a system and a symbol,
// window 2θmax > window 2θmin.
void generate_allowed_reflections(WorkSession& s, Messages& m);

// Fills s.forbidden (mark 1) with the excluded reflections of the window, merged by
// equal d (within 0.0001, whatever their indices). Empties the merged list; the
// allowed list is left as it is. Forces the lattice letter to 'P' for the rhombohedral
// system.
void generate_forbidden_reflections(WorkSession& s, Messages& m);

// True when the lattice or the operator table excludes h k l (0 0 0 always is).
// For an R symbol in hexagonal axes (the hexagonal system), a triple with h - k + l a
// multiple of 3 has h and k exchanged (and is then tested as exchanged). Uses s.system,
// s.symbol, s.lattice_letter and s.operators.
bool is_extinct(const WorkSession& s, int& h, int& k, int& l);

// The structure factor of a test atom in a general position (two trial positions),
// summed over the operator table, is below 0.001 in square modulus. True for an empty
// table.
bool structure_factor_vanishes(const std::vector<SymmetryOperator>& ops, int h, int k, int l);

// Two triples are equivalent by one of the few index permutations / sign changes of the
// system. Always false for the orthorhombic and triclinic systems and unknown codes.
bool are_equivalent(std::string_view system, int h1, int k1, int l1, int h2, int k2, int l2);

// Rounding of the index limits: to nearest, half to even (saturated at ±4e18; NaN
// gives 0).
long long round_half_even(double x);

// Largest index per axis that reaches Smax (each then increased by 1); a reach
// beyond 1e12 counts as 1e12.
struct IndexLimits {
  long long h = 0, k = 0, l = 0;
};
IndexLimits index_limits(const ReciprocalMatrix& B, double smax);

}  // namespace vornax
