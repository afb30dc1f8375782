// Indexing for the command line and the windows: the search for the cells that index
// measured lines (see indexing/indexer.hpp), reached like every other domain command,
// and what a found cell leads to in the cell tab: its system and the space groups its
// lines allow.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/calculation.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "indexing/indexer.hpp"

namespace vornax {

// The lines a search indexes: those of the primary wavelength only, each at the angle it
// would have at that wavelength. A fitted peak, and a Kα1 peak, sits at Kα1; an unfitted
// Kα (or unclassified) peak at the mean λ of the set. Kα2, Kβ and tungsten Lα rows are
// left out: they are the phase's lines again, at other wavelengths, and would be indexed
// as lines of a cell of their own.
struct PhaseLines {
  std::vector<double> two_theta;  // degrees, at `lambda`
  double lambda = 0;              // Å; 0 when the set gives none
  int left_out = 0;               // Kα2, Kβ and WLα rows
};
PhaseLines phase_lines(const std::vector<MeasuredPeak>& peaks, const WavelengthSet& w);

// Kα1 of the set: its own, or that of the anode whose Kα mean it holds (nearer the mean
// than halfway to Kα1); else its λ.
double kalpha1_of(const WavelengthSet& w);

// Whether the file is to be read as a profile rather than a peak file: its extension
// names only profile kinds, or it names both (".dat") and the content is no peak file of
// the extension's kind. A ".txt" is a peak list.
bool names_a_profile(const std::filesystem::path& file);

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

// The six cell texts of the cell tab for a found cell (lengths 8:4, angles 8:3).
std::array<std::string, 6> found_cell_fields(const indexing::IndexedCell& cell);

// "Use" of a found cell: its system, `group` (an H-M list entry; "No ext." when empty)
// and the cell go into the cell tab, then "Calc." runs with the wavelength and range the
// tab holds; an empty wavelength field takes `lambda` (the one the cell was found with),
// an empty range the measured peaks' range widened by 2 degrees. Pairs made by hand are
// asked about first: on No nothing changes. A group the system's list lacks is an error
// and changes nothing.
CalcOutcome use_found_cell(WorkSession& s, CellTab& tab, const indexing::IndexedCell& cell,
                           const std::string& group, double lambda, Messages& m);

}  // namespace vornax
