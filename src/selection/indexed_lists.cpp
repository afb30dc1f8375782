#include "selection/indexed_lists.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/cell.hpp"
#include "core/crystal_system.hpp"
#include "core/exchange_sort.hpp"
#include "core/format.hpp"
#include "core/tolerance.hpp"
#include "selection/selection.hpp"

namespace vornax {

namespace {

void sort_by_observed(std::vector<SelectedPair>& pairs) {
  exchange_sort(pairs, [](const SelectedPair& a, const SelectedPair& b) {
    return a.two_theta_obs > b.two_theta_obs;
  });
}

std::optional<int> read_index(const std::string& text) {
  const auto v = parse_integer(trim(text));
  if (!v || *v < std::numeric_limits<int16_t>::min() || *v > std::numeric_limits<int16_t>::max())
    return std::nullopt;
  return static_cast<int>(*v);
}

SelectedPair make_pair(int h, int k, int l, double obs, double calc) {
  SelectedPair p;
  p.h = static_cast<int32_t>(h);
  p.k = static_cast<int32_t>(k);
  p.l = static_cast<int32_t>(l);
  p.two_theta_obs = static_cast<float>(obs);
  p.two_theta_calc = static_cast<float>(calc);
  return p;
}

}  // namespace

std::array<int, 3> transform_indices(const SymmetryOperator& op, int h, int k, int l) {
  std::array<int, 3> out{};
  for (size_t j = 0; j < 3; ++j) {
    // Column j of R; nearbyint rounds halves to even.
    const double v = h * op.rows[0][j] + k * op.rows[1][j] + l * op.rows[2][j];
    out[j] = static_cast<int>(std::nearbyint(v));
  }
  return out;
}

bool indices_equivalent(const WorkSession& s, int h, int k, int l, int H, int K, int L) {
  for (const auto& op : s.operators) {
    const auto t = transform_indices(op, h, k, l);
    if (t[0] == H && t[1] == K && t[2] == L) return true;
  }
  if (crystal_system(s.system).hexagonal_axes) {
    for (const auto& op : s.operators) {
      const auto t = transform_indices(op, h, k, l);
      if (t[0] == K && t[1] == H && t[2] == L) return true;
    }
  }
  return false;
}

double calculated_two_theta(const WorkSession& s, int h, int k, int l) {
  if (h == 0 && k == 0 && l == 0) return 0;
  const double lambda = s.wavelengths.lambda;
  if (!(lambda > 0)) return 0;
  ReciprocalCell rc;
  ReciprocalMatrix B{};
  compute_reciprocal(s.cell, rc, B);
  const double inv = inverse_d_squared(B, h, k, l);
  if (!(inv > 0) || !std::isfinite(inv)) return 0;
  const double d = 1.0 / std::sqrt(inv);
  const double x = lambda / (2 * d);
  if (!(x <= 1)) return 0;
  return two_theta_from_d(d, lambda);
}

MergeOutcome merge_indexed_entries(WorkSession& s, const std::vector<IndexedEntry>& entries,
                                   Messages& m) {
  MergeOutcome out;
  if (s.allowed.empty()) return out;

  // Worked on a copy: a refused question leaves the list exactly as it was.
  std::vector<SelectedPair> list = s.selected;
  const size_t old_count = list.size();
  for (const auto& e : entries) {
    if (list.size() >= static_cast<size_t>(kMaxSelectedPairs)) {
      ++out.dropped;
      continue;
    }
    list.push_back(make_pair(e.h, e.k, e.l, e.two_theta, 0));
    // An entry read at the angle of a fitted peak keeps that peak's σ.
    list.back().sigma = fitted_sigma_at(s, e.two_theta);
  }

  const float tolerance = static_cast<float>(s.tolerance);
  for (size_t j = old_count; j < list.size(); ++j) {
    SelectedPair& p = list[j];
    bool matched = false;
    for (const auto& c : s.allowed) {
      if (!indices_equivalent(s, p.h, p.k, p.l, c.h, c.k, c.l)) continue;
      matched = true;
      p.two_theta_calc = static_cast<float>(c.two_theta);
      if (!within_tolerance(std::fabs(p.two_theta_calc - p.two_theta_obs), tolerance)) {
        m.beep();
        if (m.ask(kMergeToleranceQuestion) != Answer::Yes) return out;
      }
    }
    if (!matched) p.two_theta_calc = static_cast<float>(calculated_two_theta(s, p.h, p.k, p.l));
  }

  // Of the entries with the same indices anywhere in the list only the last stays: a
  // merged entry replaces an earlier pair, and a file's repeated line its earlier copy.
  std::vector<bool> removed(list.size(), false);
  for (size_t j = 1; j < list.size(); ++j)
    for (size_t i = 0; i < j; ++i)
      if (list[i].h == list[j].h && list[i].k == list[j].k && list[i].l == list[j].l)
        removed[i] = true;

  std::vector<SelectedPair> kept;
  for (size_t i = 0; i < list.size(); ++i)
    if (!removed[i] && list[i].two_theta_obs != 0) kept.push_back(list[i]);
  sort_by_observed(kept);
  s.selected = std::move(kept);
  out.merged = true;
  return out;
}

bool open_selection_editor(WorkSession& s, SelectionEditor& ed) {
  if (s.allowed.empty()) return false;
  ed.open = true;
  ed.modified = false;
  ed.backup = s.selected;
  s.indexed_list.clear();
  return true;
}

namespace {

struct TypedIndices {
  int h = 0, k = 0, l = 0;
};

// The three index boxes; "indices error" when one is empty or no integer.
std::optional<TypedIndices> read_indices(const EditorBoxes& b, Messages& m) {
  const auto h = read_index(b.h), k = read_index(b.k), l = read_index(b.l);
  if (!h || !k || !l) {
    m.error("indices error");
    return std::nullopt;
  }
  return TypedIndices{*h, *k, *l};
}

}  // namespace

std::optional<std::string> editor_calc_text(const WorkSession& s, const EditorBoxes& b,
                                            Messages& m) {
  const auto idx = read_indices(b, m);
  if (!idx || (idx->h == 0 && idx->k == 0 && idx->l == 0)) return std::nullopt;
  return format_fixed(calculated_two_theta(s, idx->h, idx->k, idx->l), 8, 3);
}

AddModifResult editor_add_modif(WorkSession& s, SelectionEditor& ed, const EditorBoxes& b,
                                Messages& m) {
  AddModifResult out;
  const auto idx = read_indices(b, m);
  if (!idx || (idx->h == 0 && idx->k == 0 && idx->l == 0)) return out;
  const int h = idx->h, k = idx->k, l = idx->l;

  const auto obs = parse_typed(b.obs);
  if (trim(b.obs).empty() || !obs || !(*obs > 0)) {
    m.error("Type error");
    return out;
  }
  if (s.wavelengths.lambda == 0) {
    m.error("The wavelength =0");
    return out;
  }
  const double calc = calculated_two_theta(s, h, k, l);
  if (!(calc > 0)) {
    m.beep();
    m.error("Not possible: The reflection is out of range or is forbiden!");
    return out;
  }

  auto same = [&](const auto& e) { return e.h == h && e.k == k && e.l == l; };
  auto existing = std::find_if(s.selected.begin(), s.selected.end(), same);
  if (existing == s.selected.end() && s.selected_count() >= kMaxSelectedPairs) {
    m.error(kTooManyPairsMessage);
    return out;
  }
  auto indexed = std::find_if(s.indexed_list.begin(), s.indexed_list.end(), same);
  if (indexed == s.indexed_list.end() &&
      static_cast<int>(s.indexed_list.size()) >= kMaxIndexedEntries) {
    m.error(kTooManyIndexedMessage);
    return out;
  }

  // Everything is valid: replace, then widen the range.
  if (existing != s.selected.end()) s.selected.erase(existing);
  s.selected.push_back(make_pair(h, k, l, *obs, calc));
  s.selected.back().sigma = fitted_sigma_at(s, *obs);
  sort_by_observed(s.selected);
  const IndexedEntry entry{h, k, l, *obs};
  if (indexed != s.indexed_list.end()) *indexed = entry;
  else s.indexed_list.push_back(entry);

  if (calc < s.window_min) {
    s.range_min = s.window_min = s.measured.range_min = calc - 2;
    out.range_changed = true;
  } else if (calc > s.window_max) {
    s.range_max = s.window_max = s.measured.range_max = calc + 2;
    out.range_changed = true;
  }
  ed.modified = true;
  m.beep();
  out.added = true;
  return out;
}

void editor_restore(WorkSession& s, const SelectionEditor& ed) { s.selected = ed.backup; }

void editor_cancel(WorkSession& s, SelectionEditor& ed) {
  editor_restore(s, ed);
  ed.open = false;
}

bool editor_ok(const WorkSession& s, SelectionEditor& ed, Messages& m) {
  ed.open = false;
  if (!ed.modified || s.selected.empty()) return false;
  return m.ask("Do you want to save the indexed list?") == Answer::Yes;
}

bool delete_pair(WorkSession& s, int h, int k, int l) {
  for (auto it = s.selected.begin(); it != s.selected.end(); ++it)
    if (it->h == h && it->k == k && it->l == l) {
      s.selected.erase(it);
      return true;
    }
  return false;
}

std::optional<EnteredList> read_entered_list(const std::vector<std::array<std::string, 4>>& rows,
                                             const std::string& wavelength, Messages& m) {
  const std::string w = trim(wavelength);
  if (w.empty()) {
    m.error("No wavelength!");
    return std::nullopt;
  }
  const auto lambda = parse_typed(w);
  if (!lambda || !(*lambda > 0)) {
    m.error("Wavelength error");
    return std::nullopt;
  }
  EnteredList out;
  out.lambda = *lambda;
  for (const auto& row : rows) {
    bool complete = true;
    for (const auto& cell : row) complete = complete && !trim(cell).empty();
    if (!complete) break;
    const auto h = read_index(row[0]), k = read_index(row[1]), l = read_index(row[2]);
    const auto t = parse_typed(trim(row[3]));
    if (!h || !k || !l || !t) {
      m.error("Type error");
      return std::nullopt;
    }
    if (static_cast<int>(out.entries.size()) >= kMaxIndexedEntries) {
      m.warning(kTooManyIndexedMessage);
      break;
    }
    out.entries.push_back({*h, *k, *l, *t});
  }
  if (out.entries.empty()) return std::nullopt;
  return out;
}

void commit_entered_list(WorkSession& s, const EnteredList& list) {
  s.measured.peaks.clear();
  double lo = 0, hi = 0;
  for (const auto& e : list.entries) {
    MeasuredPeak p;
    p.two_theta = p.two_theta_read = e.two_theta;
    p.intensity = 100;
    if (s.measured.peaks.empty() || e.two_theta < lo) lo = e.two_theta;
    if (s.measured.peaks.empty() || e.two_theta > hi) hi = e.two_theta;
    s.measured.peaks.push_back(p);
  }
  s.indexed_list = list.entries;
  s.measured.file_name.clear();
  s.measured.intensity_max = 100;
  s.measured.wavelengths.lambda = list.lambda;
  s.wavelengths.lambda = list.lambda;
  lo -= 0.1;
  hi += 0.1;
  if (hi >= 180) hi = 179;
  s.measured.range_min = s.range_min = s.window_min = lo;
  s.measured.range_max = s.range_max = s.window_max = hi;
}

}  // namespace vornax
