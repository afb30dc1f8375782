// Crystal systems and the cell entry of the "Initial cell parameters" tab, as pure
// functions of the field texts so that they are tested without widgets.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/crystal_system.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"

namespace vornax {

// First four letters of a system list entry, upper-cased.
std::string system_code_from_entry(std::string_view entry);
// Index in the system list of a code, or -1.
int system_index(std::string_view code);

// Cell field numbers (1-based as the program counts them).
enum CellField { kFieldA = 1, kFieldB, kFieldC, kFieldAlpha, kFieldBeta, kFieldGamma };

// Refinement flags of the "To refine" column, indexed by RefinedQuantity.
using RefineFlags = PerQuantity<bool>;

struct SystemLayout {
  std::array<bool, 6> tied{};          // shown in grey (silver) and not typed into
  std::array<std::string, 6> texts;    // the six field texts after the layout
  RefineFlags flag_checked{};
  RefineFlags flag_enabled{};
};

// The per-system table applied to the six field texts: fixed angles written, tied
// fields copying their master, offered flags enabled and checked.
SystemLayout apply_system_layout(std::string_view system, const std::array<std::string, 6>& texts);

// Which cell flags a system offers; for the monoclinic system the angle that differs
// from 90 (within 0.002) is offered. Unparsable angles count as not 90.
std::array<bool, 6> offered_cell_flags(std::string_view system, std::optional<double> alpha,
                                       std::optional<double> beta, std::optional<double> gamma);

// Leaving the a or alpha field. Returns false (after "Type error!") when the text does
// not convert; otherwise stores the value and returns the texts other fields take.
struct VerificationResult {
  bool ok = false;
  std::array<std::optional<std::string>, 6> copies;  // new texts for fields 1..6
};
VerificationResult check_cell_field(WorkSession& s, int field, const std::string& text, Messages& m);

// What the cell entry reads: the nine field texts and the list selections.
struct CellEntryInput {
  std::string system_entry;                      // chosen system list entry, or empty
  std::optional<std::string> hm_selection;       // chosen H-M list line
  std::optional<std::string> getspec_selection;  // chosen Getspec list line
  std::array<std::string, 9> fields;             // a b c alpha beta gamma lambda min max
  std::array<bool, 9> edited{};                  // typed into since the program wrote it
  // "Calc.": an empty cell field gets its message instead of a silent stop, and an empty
  // wavelength or range field reads as 0 (not defined).
  bool empty_is_error = false;
};

// The "Initial cell parameters" tab as data: the window mirrors it in its widgets, the
// command line fills it from its arguments, and the commands work on it.
struct CellTab {
  int system_index = -1;                      // chosen entry of the system list, -1 none
  std::vector<std::string> hm_list;           // "No ext." first, then the operator file
  int hm_selected = -1;
  std::vector<std::string> getspec_list;      // lines built from spgr2.dat
  int getspec_selected = -1;
  std::array<std::string, 9> fields;          // a b c alpha beta gamma lambda min max
  // The text the user typed into a field, while the field still shows it: a command
  // that writes the field (the echo of lambda and the range) ends it.
  std::array<std::optional<std::string>, 9> typed;
  std::array<bool, 6> tied{};                 // grey cell fields
  std::string grid_title = "Calculated diagram";

  std::string system_entry() const;
  CellEntryInput input() const;
};

// Texts written back into the fields when the entry was read completely.
struct CellEntryEcho {
  std::string lambda;     // 8:5
  std::string range_min;  // 8:2, halved in θ mode
  std::string range_max;
};

// Reads the whole entry into the session, stopping silently at the first empty field
// and with a message at the first that does not convert. Returns the echo texts when
// every field was read.
std::optional<CellEntryEcho> read_cell_entry(WorkSession& s, const CellEntryInput& in, Messages& m);

// The symbol and its kind from the two list selections (step 2 of the entry).
void read_symbol_from_lists(WorkSession& s, const std::optional<std::string>& hm,
                            const std::optional<std::string>& getspec);

// The quiet reading done before a space-group choice calculates: no messages; stops at
// the first empty field and, from b on, at the first text that does not convert.
// Returns true when all nine fields were read.
bool read_cell_entry_quietly(WorkSession& s, const std::array<std::string, 9>& fields);

// The "To refine" defaults: the cell flags the system offers for the session's cell,
// enabled and checked; shift and lambda enabled and unchecked.
void reset_refine_flags(WorkSession& s);

// The system layout applied to the tab's six cell fields; the "To refine" flags follow.
void apply_system_layout(WorkSession& s, CellTab& tab);

// A range field's text after the angle mode changed from `from` to `to`: the stored
// value (2θ) in the new mode, 8:2, while the field still shows it as the program wrote
// it; otherwise the typed number converted (θ = 2θ / 2) with the decimals it needs, so
// that a range typed but not yet read is neither lost nor taken in the wrong mode. Empty
// text and text that is no number stay as they are.
std::string range_text_for_mode(std::string_view text, double stored, AngleMode from,
                                AngleMode to);

// The six field texts of the current cell: lengths 8:4, angles 8:3.
std::array<std::string, 6> show_cell(const CellParameters& cell);

// The system code that cell values imply; `current` when they settle nothing.
std::string detect_system(const CellParameters& cell, std::string_view current);

}  // namespace vornax
