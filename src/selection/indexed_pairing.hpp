// Pairing of an indexed list loaded as measured data with the calculated reflections.
#pragma once

#include "core/session.hpp"

namespace vornax {

// Pairs every entry of s.indexed_list with the allowed reflections its indices map to
// under the operator table, indices transformed as row vectors (with h and k exchanged
// in hexagonal axes when none matches), appending
// to s.selected (at most kMaxSelectedPairs). The observed 2θ of entry i is that of
// measured peak i (the entry's own copy when there is no such peak).
void pair_indexed_list(WorkSession& s);

}  // namespace vornax
