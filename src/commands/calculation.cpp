#include "commands/calculation.hpp"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "core/catalogue.hpp"
#include "core/cell.hpp"
#include "core/crystal_system.hpp"
#include "core/exchange_sort.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/reflections.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"
#include "selection/indexed_pairing.hpp"
#include "selection/manual_selection.hpp"

namespace vornax {

namespace {

// After the lists were refilled, each selects the session's symbol when it holds it; a
// symbol present in both would then be read back from the H-M list and silently turn a
// Getspec choice into an H-M one. The list of the last click keeps the selection.
void refill_lists(const WorkSession& s, CellTab& tab) {
  fill_getspec_list(s, tab);
  fill_hm_list(s, tab);
  keep_selection_of_kind(s, tab);
}

// The cell entry read from the tab: the lists refilled for the chosen system first, the
// echo of lambda and the range written back into their fields.
bool read_entry(WorkSession& s, CellTab& tab, Messages& m, bool empty_is_error = false) {
  if (tab.system_index >= 0) {
    s.system = system_code_from_entry(tab.system_entry());
    refill_lists(s, tab);
  }
  CellEntryInput input = tab.input();
  input.empty_is_error = empty_is_error;
  auto echo = read_cell_entry(s, input, m);
  if (!echo) return false;
  tab.fields[6] = echo->lambda;
  tab.fields[7] = echo->range_min;
  tab.fields[8] = echo->range_max;
  return true;
}

// A cell that spans a volume: positive lengths, angles strictly between 0 and 180
// degrees, and a positive squared volume factor 1 - ca² - cb² - cg² + 2 ca cb cg (which
// is 0 for, say, three angles of 120 or one of 180). The cosines of round angles are not
// exact in binary, so a factor within rounding of 0 counts as 0.
bool cell_has_volume(const CellParameters& c) {
  for (double length : {c.a, c.b, c.c})
    if (!(length > 0) || !std::isfinite(length)) return false;
  for (double angle : {c.alpha, c.beta, c.gamma})
    if (!(angle > 0 && angle < 180)) return false;
  constexpr double kDegree = 3.14159265358979323846 / 180;
  const double ca = std::cos(c.alpha * kDegree), cb = std::cos(c.beta * kDegree),
               cg = std::cos(c.gamma * kDegree);
  return 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg > 1e-12;
}

// Operators, the five checks and the generator. Returns true when reflections exist.
bool check_and_generate(WorkSession& s, Messages& m, CalcOutcome& out) {
  // Without a symbol there is nothing to look up (an operator file would match its first
  // empty line and fail on the next); the check below names the real problem.
  if (!s.symbol.empty()) {
    if (s.symbol_kind == "HM") load_operators_hm(s, m);
    else if (s.symbol_kind == "HALL") load_operators_getspec(s, m);
  }

  const auto& c = s.cell;
  const char* failure = nullptr;
  if (s.wavelengths.lambda == 0) failure = "The wavelength =0";
  else if (!cell_has_volume(c)) failure = "Cell parameters error!";
  else if (s.system.empty()) failure = "No system!";
  else if (s.symbol.empty()) failure = "No space group!";
  else if (!(s.window_max > s.window_min)) failure = "Theta range error";
  if (failure) {
    m.error(failure);
    out.failed = true;
    return false;
  }
  generate_allowed_reflections(s, m);
  out.calculated = true;
  return s.allowed_count() != 0;
}

// Steps 4.1 to 4.4 of the sequence plus the grid, as a space-group click runs them.
void calculate_from_entry(WorkSession& s, CellTab& tab, Messages& m, CalcOutcome& out) {
  out.show_cell_tab = true;
  read_entry(s, tab, m);
  if (check_and_generate(s, m, out)) {
    fill_calculated_grid(s, tab);
    out.grid_filled = true;
  }
}

void build_merged(WorkSession& s) {
  s.merged = s.allowed;
  s.merged.insert(s.merged.end(), s.forbidden.begin(), s.forbidden.end());
  exchange_sort(s.merged, [](const CalculatedReflection& a, const CalculatedReflection& b) {
    return a.two_theta > b.two_theta;
  });
}

// Writes a report; an I/O error is shown with the system's message.
bool save_lines(const std::filesystem::path& path, std::vector<std::string> lines, Messages& m) {
  try {
    TextFile f;
    f.lines = std::move(lines);
    f.save(path);
    return true;
  } catch (const FileError& e) {
    m.error(e.what());
    return false;
  }
}

// Pairs made by hand cannot be made again by a click: the user is asked, and on Yes they
// go to obs.txt, where "Restore" finds them. False when the command must not go on.
CalcOutcome select_group(WorkSession& s, CellTab& tab, Messages& m) {
  CalcOutcome out;
  try {
    if (!read_cell_entry_quietly(s, tab.fields)) return out;
    s.selected.clear();
    clear_results(s);
    read_entry(s, tab, m);
    s.initial_cell = s.cell;
    calculate_from_entry(s, tab, m, out);
  } catch (const FileError& e) {
    m.error(e.what());
    out.failed = true;
  }
  return out;
}

}  // namespace

bool may_drop_hand_pairs(WorkSession& s, Messages& m) {
  if (!holds_pairs_made_by_hand(s)) return true;
  return m.ask(kHandPairsQuestion) == Answer::Yes && delete_selection_with_backup(s, m);
}

CalcOutcome run_calculation(WorkSession& s, CellTab& tab, Messages& m) {
  CalcOutcome out;
  try {
    // The lists, the field layout and the refinement defaults follow the session.
    if (!s.system.empty()) refill_lists(s, tab);
    sync_symbol_lists(s, tab);
    keep_selection_of_kind(s, tab);
    tab.tied = apply_system_layout(s.system, show_cell(s.cell)).tied;
    const auto cell_texts = show_cell(s.cell);
    for (size_t i = 0; i < 6; ++i) tab.fields[i] = cell_texts[i];
    reset_refine_flags(s);

    tab.fields[6] = format_fixed(s.wavelengths.lambda, 8, 5);
    tab.fields[7] = format_fixed(angle_for_display(s, s.range_min), 7, 2);
    tab.fields[8] = format_fixed(angle_for_display(s, s.range_max), 7, 2);

    s.selected.clear();
    clear_results(s);
    read_entry(s, tab, m);

    // A wavelength or a range that cannot be calculated gets its message rather than
    // an empty grid; 0 means "not defined yet" and only warns below.
    if (s.wavelengths.lambda < 0 || !std::isfinite(s.wavelengths.lambda)) {
      m.error("The wavelength =0");
      out.failed = true;
      return out;
    }
    if (s.wavelengths.lambda > 0 &&
        (s.range_max < 0 || (s.range_max > 0 && !(s.range_min < s.range_max)))) {
      m.error("Theta range error");
      out.failed = true;
      return out;
    }
    if (s.wavelengths.lambda > 0 && s.range_max > 0) {
      calculate_from_entry(s, tab, m, out);
      if (out.failed || !out.grid_filled) return out;
    }

    tab.grid_title = trim("Calc. diagram (" + file_name_only(s.cell_file_name) + ")");

    if (s.wavelengths.lambda == 0) {
      m.info("Warning: Current wavelength not defined");
    } else if (s.range_max != 0) {
      if (to_upper(s.measured.file_name).find(".LST") != std::string::npos) {
        s.selected.clear();
    clear_results(s);
        pair_indexed_list(s);
        out.pairs_changed = true;
      }
    } else {
      m.info("Warning: Current Theta range not defined. ");
    }
  } catch (const FileError& e) {
    m.error(e.what());
    out.failed = true;
  }
  return out;
}

CalcOutcome calculate_reflections(WorkSession& s, CellTab& tab, Messages& m) {
  CalcOutcome out;
  // An entry not read completely stops the command: calculating would mix the typed
  // fields read so far with the old ones, and overwrite what the user typed.
  // Pairs made by hand cannot be made again by a click: the user is asked, and they go
  // to obs.txt, where "Restore" finds them.
  if (!may_drop_hand_pairs(s, m)) {
    out.failed = true;
    return out;
  }
  try {
    if (!read_entry(s, tab, m, true)) {
      out.failed = true;
      return out;
    }
  } catch (const FileError& e) {
    m.error(e.what());
    out.failed = true;
    return out;
  }
  s.selected.clear();
    clear_results(s);
  s.initial_cell = s.cell;
  out = run_calculation(s, tab, m);
  if (s.allowed_count() != 0) {
    fill_calculated_grid(s, tab);
    out.grid_filled = true;
  }
  return out;
}

bool choose_group(WorkSession& s, CellTab& tab, GroupList list, int index) {
  if (list == GroupList::HM) {
    tab.getspec_selected = -1;
    s.symbol_kind = "HM";
    if (index < 0 || index >= static_cast<int>(tab.hm_list.size())) return false;
    tab.hm_selected = index;
    const std::string entry = trim(tab.hm_list[static_cast<size_t>(index)]);
    if (!entry.empty()) s.symbol = to_upper(entry);
    return true;
  }
  s.symbol_kind = "HALL";
  tab.hm_selected = -1;
  delete_fixed_file(s, FixedFile::Scfs2);
  if (index < 0 || index >= static_cast<int>(tab.getspec_list.size())) return false;
  tab.getspec_selected = index;
  const std::string& entry = tab.getspec_list[static_cast<size_t>(index)];
  s.symbol = to_upper(trim(entry.substr(0, 12)));
  return true;
}

namespace {

std::string without_blanks(std::string_view t) {
  std::string out;
  for (char c : t)
    if (c != ' ' && c != '\t') out += c;
  return to_upper(out);
}

}  // namespace

int find_group(const std::vector<std::string>& list, const std::string& group, GroupList kind) {
  auto key = [&](const std::string& entry) {
    return kind == GroupList::Getspec ? entry.substr(0, 12) : entry;
  };
  const std::string wanted = to_upper(trim(group));
  for (size_t i = 0; i < list.size(); ++i)
    if (to_upper(trim(key(list[i]))) == wanted) return static_cast<int>(i);
  const std::string loose = without_blanks(group);
  for (size_t i = 0; i < list.size(); ++i)
    if (without_blanks(key(list[i])) == loose) return static_cast<int>(i);
  // "F d -3 m" for "F d -3 m:1", "R -3 c" for "R -3 c:H": the first setting listed.
  // Origin choices share their reflection conditions, so the calculation is the same.
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string entry = without_blanks(key(list[i]));
    if (const auto colon = entry.find(':');
        colon != std::string::npos && entry.substr(0, colon) == loose)
      return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::string> choose_system_and_group(WorkSession& s, CellTab& tab,
                                                   const std::string& system,
                                                   const std::string& group, GroupList kind) {
  const std::string code =
      system.size() > 4 ? system_code_from_entry(system) : to_upper(system);
  tab.system_index = system_index(code);
  if (tab.system_index < 0) return "unknown system " + system;
  s.system = code;
  fill_getspec_list(s, tab);
  fill_hm_list(s, tab);
  const bool getspec = kind == GroupList::Getspec;
  const int index = find_group(getspec ? tab.getspec_list : tab.hm_list, group, kind);
  if (index < 0)
    return group + " not found in the " + (getspec ? "Getspec" : "H-M") + " list of " +
           tab.system_entry();
  choose_group(s, tab, kind, index);
  return std::nullopt;
}

CalcOutcome select_group_hm(WorkSession& s, CellTab& tab, int index, Messages& m) {
  if (!may_drop_hand_pairs(s, m)) return {.failed = true};
  erase_cell_parameters(s);
  if (!choose_group(s, tab, GroupList::HM, index)) return {};
  return select_group(s, tab, m);
}

CalcOutcome select_group_getspec(WorkSession& s, CellTab& tab, int index, Messages& m) {
  if (!may_drop_hand_pairs(s, m)) return {.failed = true};
  if (!choose_group(s, tab, GroupList::Getspec, index)) return {};
  return select_group(s, tab, m);
}

bool toggle_forbidden(WorkSession& s, bool want_up, Messages& m) {
  if (s.allowed.empty()) {
    s.show_forbidden = false;
    return false;
  }
  s.show_forbidden = want_up;
  if (want_up) generate_forbidden_reflections(s, m);
  if (s.show_forbidden) build_merged(s);
  save_lines(fixed_file_path(s, FixedFile::Forbidden), forbidden_lines(s), m);
  return s.show_forbidden;
}

std::string calculated_grid_title(const WorkSession& s) {
  return s.show_forbidden ? "Calc. diagram (+ forbidden lines)" : "Calulated diagram";
}

GridText calculated_grid(const WorkSession& s) {
  constexpr int kMinRows = 15;
  const bool shown = s.show_forbidden;
  const auto& list = shown ? s.merged : s.allowed;
  GridText g = empty_grid_text({0, 0, 0}, {9, 7, 7},
                               std::max(kMinRows, static_cast<int>(list.size()) + 1));
  g.header_in_cells = true;
  g.rows[0] = {"  h   k   l", "   Dhkl", s.angle_mode == AngleMode::Theta ? "Theta" : "2Theta"};
  g.styles.assign(g.rows.size(), RowStyle::Plain);
  size_t row = 1;
  for (const auto& r : list) {
    g.rows[row] = {format_int(r.h, 3) + format_int(r.k, 3) + format_int(r.l, 3),
                   format_fixed(r.d, 7, 4),
                   format_fixed(angle_for_display(s, r.two_theta), 7, 3)};
    if (shown && r.mark == 1) g.styles[row] = RowStyle::Forbidden;
    ++row;
  }
  return g;
}

void recalculate_reflections(WorkSession& s, Messages& m) {
  generate_allowed_reflections(s, m);
  if (!s.show_forbidden) return;
  generate_forbidden_reflections(s, m);
  build_merged(s);
}

GridText fill_calculated_grid(WorkSession& s, CellTab& tab) {
  if (s.show_forbidden) build_merged(s);
  tab.grid_title = calculated_grid_title(s);
  return calculated_grid(s);
}

std::vector<std::string> forbidden_lines(const WorkSession& s) {
  std::vector<std::string> out = {"Forbiden reflections"};
  for (const auto& r : s.forbidden)
    out.push_back(format_int(r.h, 4) + format_int(r.k, 4) + format_int(r.l, 4) +
                  format_fixed(r.d, 8, 4) + format_fixed(r.two_theta, 8, 3));
  return out;
}

std::vector<std::string> calculated_lines_short(const WorkSession& s) {
  const auto& c = s.cell;
  std::vector<std::string> out;
  out.push_back("Lambda: " + format_fixed(s.wavelengths.lambda, 10, 5));
  out.push_back("Cell  : " + format_fixed(c.a, 10, 4) + format_fixed(c.b, 10, 4) +
                format_fixed(c.c, 10, 4) + format_fixed(c.alpha, 10, 3) +
                format_fixed(c.beta, 10, 3) + format_fixed(c.gamma, 10, 3));
  out.push_back("Group : " + s.symbol);
  out.push_back("   Nb   h   k   l   Dhkl   Bragg");
  int n = 0;
  for (const auto& r : s.allowed)
    out.push_back(format_int(++n, 5) + format_int(r.h, 4) + format_int(r.k, 4) +
                  format_int(r.l, 4) + format_fixed(r.d, 8, 4) + format_fixed(r.two_theta, 8, 3));
  return out;
}

std::vector<std::string> calculated_lines_report(const WorkSession& s) {
  const auto& c = s.cell;
  std::vector<std::string> out;
  out.push_back("File name    :" + file_name_only(s.cell_file_name));
  out.push_back("Space Group  :" + s.symbol);
  out.push_back("a            :" + format_fixed(c.a, 8, 4));
  out.push_back("b            :" + format_fixed(c.b, 8, 4));
  out.push_back("c            :" + format_fixed(c.c, 8, 4));
  out.push_back("alpha        :" + format_fixed(c.alpha, 8, 3));
  out.push_back("beta         :" + format_fixed(c.beta, 8, 3));
  out.push_back("gamma        :" + format_fixed(c.gamma, 8, 3));
  out.push_back("Lambda       :" + format_fixed(s.wavelengths.lambda, 8, 5));
  out.push_back("Nb. of refl. :" + format_int(s.allowed_count(), 8));
  out.push_back("");
  out.push_back("  N  h  k  l    Dhkl  2Theta   Theta");
  int n = 0;
  for (const auto& r : s.allowed)
    out.push_back(format_int(++n, 3) + format_int(r.h, 3) + format_int(r.k, 3) +
                  format_int(r.l, 3) + format_fixed(r.d, 8, 4) +
                  format_fixed(r.two_theta, 8, 3) + format_fixed(r.two_theta * 0.5, 8, 3));
  return out;
}

std::optional<std::filesystem::path> write_short_reflection_report(WorkSession& s, Messages& m) {
  const auto path = fixed_file_path(s, FixedFile::IndxShort);
  delete_fixed_file(s, FixedFile::IndxShort);
  if (s.allowed.empty()) return std::nullopt;
  if (!save_lines(path, calculated_lines_short(s), m)) return std::nullopt;
  return path;
}

std::optional<std::filesystem::path> write_calculated_report(WorkSession& s, Messages& m) {
  if (s.allowed.empty()) {
    m.error("No calculated peaks!");
    return std::nullopt;
  }
  const auto path = fixed_file_path(s, FixedFile::IndxReport);
  if (!save_lines(path, calculated_lines_report(s), m)) return std::nullopt;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    m.error("No results");
    return std::nullopt;
  }
  return path;
}

}  // namespace vornax
