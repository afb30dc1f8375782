// Indexing for the command line and the windows: the search for the cells that index
// measured lines (see indexing/indexer.hpp), reached like every other domain command,
// and what a found cell leads to in the cell tab: its system and the space groups its
// lines allow.
#pragma once

#include <string>
#include <vector>

#include "core/session.hpp"
#include "indexing/indexer.hpp"

namespace vornax {

// The system code under which the cell tab takes a found cell: a rhombohedral lattice is
// given on hexagonal axes, so it goes to the hexagonal system with its R groups.
std::string cell_tab_system(const indexing::IndexedCell& c);

// The letter a space-group symbol of that system must start with for the found cell.
char cell_tab_lattice_letter(const indexing::IndexedCell& c);

struct GroupProposal {
  std::string symbol;  // as in the H-M list
  int removed = 0;     // calculated lines of the lattice the group's conditions remove
  int lines = 0;       // calculated lines of the lattice up to the last measured line
};

// The groups of the H-M list of the cell's system, of its lattice and (monoclinic) with
// b unique, whose reflection conditions leave every line the cell indexes allowed: a
// line is allowed when an allowed reflection lies within `tolerance` (degrees 2θ) of it,
// corrected by the cell's zero. Most lines removed first, then in the list's order.
// Reads the system's operator file like the H-M list does; throws FileError when it
// cannot be read.
std::vector<GroupProposal> propose_space_groups(const WorkSession& s,
                                                const indexing::IndexedCell& cell,
                                                const std::vector<double>& two_theta,
                                                double lambda, double tolerance);

}  // namespace vornax
