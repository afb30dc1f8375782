#include "commands/refinement_road.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "commands/calculation.hpp"
#include "commands/cell_files.hpp"
#include "core/cell.hpp"
#include "core/crystal_system.hpp"
#include "core/format.hpp"
#include "core/reflections.hpp"
#include "selection/selection.hpp"

namespace vornax {

namespace {

// Passes every message on and keeps the first error and the first warning, the reason
// a failed road gives in its record.
struct FirstMessage : Messages {
  Messages& to;
  std::string first_error, first_warning;
  explicit FirstMessage(Messages& m) : to(m) {}
  void error(std::string_view t) override {
    if (first_error.empty()) first_error = trim(t);
    to.error(t);
  }
  void warning(std::string_view t) override {
    if (first_warning.empty()) first_warning = trim(t);
    to.warning(t);
  }
  void info(std::string_view t) override { to.info(t); }
  Answer ask(std::string_view t) override { return to.ask(t); }
  void beep() override { to.beep(); }
  std::string reason(std::string fallback) const {
    return !first_error.empty() ? first_error
           : !first_warning.empty() ? first_warning
                                    : std::move(fallback);
  }
};

RefinementRecord failed(const FirstMessage& m, std::string fallback) {
  RefinementRecord r;
  r.message = m.reason(std::move(fallback));
  return r;
}

// Pairs made by "Calc." from a loaded indexed list: "Auto Sel." would throw them away.
bool paired_by_indices(const WorkSession& s) {
  return !s.indexed_list.empty() && !s.selected.empty();
}

void fill_pairs(const WorkSession& s, RefinementRecord& r) {
  const RefinementResults& res = s.results;
  const bool refined = r.status == RoadStatus::Refined;
  const auto& diag = r.quality.diagnostics;
  r.pairs.clear();
  for (size_t i = 0; i < s.selected.size(); ++i) {
    const SelectedPair& p = s.selected[i];
    PairRecord pr;
    pr.h = p.h;
    pr.k = p.k;
    pr.l = p.l;
    pr.two_theta_obs = p.two_theta_obs;
    pr.two_theta_obs_shifted = refined && i < res.obs_shifted.size() ? res.obs_shifted[i] : p.two_theta_obs;
    pr.two_theta_calc = refined && i < res.calc.size() ? res.calc[i] : p.two_theta_calc;
    pr.flagged = diag.available && i < diag.pairs.size() && diag.pairs[i].flagged;
    r.pairs.push_back(pr);
  }
  r.pairing = pairing_summary(s);
}

// What identifies a pair, to tell whether a pairing again changed anything.
std::vector<std::array<double, 4>> pair_keys(const WorkSession& s) {
  std::vector<std::array<double, 4>> keys;
  for (const SelectedPair& p : s.selected) keys.push_back({double(p.h), double(p.k), double(p.l), p.two_theta_obs});
  return keys;
}

// While a cell is still off, its error grows with the angle: the low-angle pairs are
// right and, past some angle, a peak meets a neighbouring reflection. Keeps the pairs
// from the lowest angle up to the first whose difference (measured angle corrected by
// the shift, less the calculated one) departs from `reference` by more than `limit`, and
// drops the rest, unless fewer than `least` would remain. Returns whether it dropped any.
bool keep_trusted_low_angle_pairs(WorkSession& s, ShiftMode mode, double shift, double reference,
                                  double limit, size_t least) {
  std::vector<SelectedPair> pairs = s.selected;
  std::stable_sort(pairs.begin(), pairs.end(), [](const SelectedPair& a, const SelectedPair& b) {
    return a.two_theta_obs < b.two_theta_obs;
  });
  size_t keep = 0;
  while (keep < pairs.size()) {
    const SelectedPair& p = pairs[keep];
    const double diff = p.two_theta_obs - shift_correction(mode, shift, p.two_theta_obs) - p.two_theta_calc;
    if (std::fabs(diff - reference) > limit) break;
    ++keep;
  }
  if (keep == pairs.size() || keep < least) return false;
  const float first_dropped = pairs[keep].two_theta_obs;
  std::vector<SelectedPair> kept;
  for (const SelectedPair& p : s.selected)
    if (p.two_theta_obs < first_dropped) kept.push_back(p);
  s.selected = std::move(kept);
  return true;
}

int refined_key_count(const WorkSession& s) {
  int n = 0;
  for (bool k : s.refine_checked) n += k;
  return n;
}

// The refinement tab's boxes as they stand after a run: the session's wavelength and the
// refined shift as the starting values.
RefineInputs inputs_from_results(const WorkSession& s, const RefineInputs& weighting) {
  RefineInputs in;
  in.weights = weighting.weights;
  in.sigma_floor = weighting.sigma_floor;
  in.files = weighting.files;
  // The box showing the session's wavelength keeps it unrounded.
  in.lambda_text = format_fixed(s.wavelengths.lambda, 8, 5);
  in.shift_text = format_fixed(s.results.zero_shift, 0, 9);
  return in;
}


std::string json_number(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::string json_string(const std::string& t) {
  std::string out = "\"";
  for (char c : t) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

}  // namespace

bool start_session(WorkSession& s, CellTab& tab, const SessionStart& a, Messages& m) {
  reset_session(s, a.folder);
  s.data_folder = a.data_folder;
  if (a.theta) s.angle_mode = AngleMode::Theta;
  if (!a.cell_file.empty()) {
    // The file fills system, group and cell; λ and the range are the typed ones.
    const auto lambda = parse_typed(a.lambda);
    const auto lo = parse_typed(a.range_min), hi = parse_typed(a.range_max);
    const char* bad = !lambda ? "Error at lambda" : !lo ? "Error at Theta Min." : !hi ? "Error at Theta Max." : nullptr;
    if (bad) {
      m.error(bad);
      return false;
    }
    s.wavelengths.lambda = *lambda;
    s.range_min = angle_from_entry(s, *lo);
    s.range_max = angle_from_entry(s, *hi);
    widen_window_to_range(s);
    return load_cell_file(s, a.cell_file, m);
  }
  if (auto error = choose_system_and_group(s, tab, a.system, a.group,
                                           a.getspec ? GroupList::Getspec : GroupList::HM)) {
    m.error(*error);
    return false;
  }
  // The cell fields as the window shows them once the system is chosen: tied fields
  // copy their master, fixed angles are written.
  const auto layout = apply_system_layout(s.system, a.cell);
  for (size_t i = 0; i < 6; ++i) tab.fields[i] = layout.texts[i];
  tab.tied = layout.tied;
  tab.fields[6] = a.lambda;
  tab.fields[7] = a.range_min;
  tab.fields[8] = a.range_max;
  return true;
}

CalcOutcome calculate_started(WorkSession& s, CellTab& tab, const SessionStart& start, Messages& m) {
  return start.cell_file.empty() ? calculate_reflections(s, tab, m) : run_calculation(s, tab, m);
}

std::optional<PerQuantity<bool>> parse_refine_keys(const std::string& list, std::string* bad) {
  PerQuantity<bool> keys{};
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string item = trim(list.substr(start, comma - start));
    start = comma + 1;
    if (item.empty()) continue;
    bool found = false;
    for (size_t k = 0; k < kRefinedQuantities; ++k)
      if (item == kQuantityNames[k]) keys[k] = found = true;
    if (!found) {
      if (bad) *bad = item;
      return std::nullopt;
    }
  }
  return keys;
}

std::optional<std::string> refine_keys_refusal(const WorkSession& s, const PerQuantity<bool>& keys) {
  if (system_of(s.system) == CrystalSystemId::None) return std::nullopt;
  const CrystalSystem& sys = crystal_system(s.system);
  for (size_t i = 0; i < kCellQuantities; ++i) {
    if (!keys[i] || s.refine_enabled[i]) continue;
    const std::string name(kQuantityNames[i]);
    const auto master = static_cast<size_t>(sys.copy_from[i]);
    if (master != i)
      return name + " is tied to " + kQuantityNames[master] + " in this crystal system (" + s.system +
             "); refine " + kQuantityNames[master] + " instead";
    return name + " is fixed in this crystal system (" + s.system + ")";
  }
  return std::nullopt;
}

RefinementRecord refine_cell(WorkSession& s, const RefineInputs& in, Messages& messages) {
  FirstMessage m(messages);
  // Without pairs the command's own message comes first.
  if (auto refusal = s.selected.empty() ? std::nullopt : refine_keys_refusal(s, s.refine_checked)) {
    m.error(*refusal);
    return failed(m, "");
  }
  RefinementRecord r;
  r.refined = s.refine_checked;
  r.peaks = s.measured_count();
  r.weighting = in.weights;
  r.outcome = refine_pairs(s, in, m);
  switch (r.outcome.status) {
    case RefineStatus::NotStarted:
    case RefineStatus::FileFailed:
      r.status = RoadStatus::Failed;
      r.message = m.reason("refinement not started");
      return r;
    case RefineStatus::Singular:
      r.status = RoadStatus::Singular;
      r.message = m.reason("Singular Matrix");
      fill_pairs(s, r);
      return r;
    case RefineStatus::Refined: break;
  }
  r.status = RoadStatus::Refined;
  const RefinementResults& res = s.results;
  const RefinementRun& run = r.outcome.run;
  r.values = {res.cell.a, res.cell.b,  res.cell.c, res.cell.alpha, res.cell.beta, res.cell.gamma,
              res.zero_shift, res.lambda};
  r.errors = res.errors;
  r.volume = res.volume_refined;
  r.volume_error = res.volume_error;
  r.shift_model = res.eccentricity ? ShiftMode::SampleEccentricity : ShiftMode::ConstantZeroShift;
  r.cycles = run.problem.cycles;
  r.residual = run.problem.residual * kThetaRadToTwoThetaDeg;
  r.converged = run.converged;
  r.diverging = run.diverging;
  if (run.problem.weighting == WeightMode::Fitted) {
    r.sigma_floor = run.problem.sigma_floor;
    r.goodness_of_fit = run.problem.goodness_of_fit;
  }
  r.quality = refinement_quality(s, run.problem);
  if (run.diverging) r.message = m.reason("not converging");
  fill_pairs(s, r);
  return r;
}

RefinementRecord run_refinement_road(WorkSession& s, CellTab& tab, const SessionStart& start,
                                     const RoadSettings& st, Messages& messages,
                                     const std::function<bool(WorkSession&)>& after_pairing) {
  FirstMessage m(messages);
  const CalcOutcome calc = calculate_started(s, tab, start, m);
  if (!calc.failed && s.allowed.empty() && !st.refine) {
    // Nothing to pair: a drawing still shows the peaks and the profile.
    RefinementRecord r;
    r.status = RoadStatus::Paired;
    r.peaks = s.measured_count();
    return r;
  }
  if (calc.failed || s.allowed.empty()) {
    if (m.first_error.empty()) m.error("No calculated reflections");
    return failed(m, "no calculated reflections");
  }
  if (st.keys) {
    if (auto refusal = refine_keys_refusal(s, *st.keys)) {
      m.error(*refusal);
      return failed(m, "");
    }
    s.refine_checked = *st.keys;
  }
  if (st.eccentricity) s.shift_mode = ShiftMode::SampleEccentricity;

  if (!paired_by_indices(s) && !s.measured.peaks.empty() &&
      !pair_automatically(s, st.tolerance, m))
    return failed(m, "no selection");
  // With "Pair again" the pairs that count are the last ones.
  const bool after_last_pairing = st.refine && st.pair_again > 0;
  if (!after_last_pairing && after_pairing && !after_pairing(s))
    return failed(m, "stopped after pairing");
  if (!st.refine) {
    RefinementRecord r;
    r.status = RoadStatus::Paired;
    r.peaks = s.measured_count();
    fill_pairs(s, r);
    return r;
  }
  RefinementRecord r = refine_cell(s, st.inputs, m);
  if (r.status != RoadStatus::Refined && r.message.empty()) r.message = m.reason("refinement failed");
  if (r.status == RoadStatus::Refined && st.pair_again > 0)
    r = pair_again(s, st.tolerance, st.pair_again, m, nullptr, st.inputs);
  if (after_last_pairing && after_pairing && !after_pairing(s) && r.status == RoadStatus::Refined)
    return failed(m, "stopped after pairing");
  return r;
}

RefinementRecord pair_again(WorkSession& s, const std::string& tolerance, int max_runs,
                            Messages& messages, bool* settled, const RefineInputs& weighting) {
  FirstMessage m(messages);
  if (settled) *settled = false;
  if (!s.results.refined || s.selected.empty()) {
    m.error("Pair again needs a refined cell: refine first");
    return failed(m, "");
  }
  const auto typed = parse_typed(trim(tolerance));
  if (!typed) {
    m.error("Error (angular tolerance)");
    return failed(m, "");
  }
  const double limit = (s.angle_mode == AngleMode::Theta ? 2 * *typed : *typed) / 2;
  const size_t least = static_cast<size_t>(refined_key_count(s)) + 2;
  RefinementRecord r;
  // The pairs of a start cell far off hold wrong ones at high angles, which pull the
  // refinement away. First only the low-angle pairs are trusted: those whose difference
  // stays within half the tolerance of the first pair's (the shift). Each run then pairs
  // further up with a better cell, and the full pairing follows once nothing is dropped.
  bool growing = false;
  if (!s.selected.empty()) {
    std::vector<SelectedPair> sorted = s.selected;
    const auto lowest = std::min_element(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
      return a.two_theta_obs < b.two_theta_obs;
    });
    const double reference = lowest->two_theta_obs - lowest->two_theta_calc;
    if (keep_trusted_low_angle_pairs(s, ShiftMode::ConstantZeroShift, 0, reference, limit, least)) {
      growing = true;
      r = refine_cell(s, inputs_from_results(s, weighting), m);
      if (r.status != RoadStatus::Refined) {
        if (r.message.empty()) r.message = m.reason("refinement failed");
        return r;
      }
    }
  }
  for (int run = 1; run <= max_runs; ++run) {
    const auto before = pair_keys(s);
    const RefinementResults res = s.results;
    const ShiftMode mode = res.eccentricity ? ShiftMode::SampleEccentricity : ShiftMode::ConstantZeroShift;
    s.cell = res.cell;
    s.wavelengths.lambda = res.lambda;
    recalculate_reflections(s, m);
    if (!select_automatically_shifted(s, tolerance, mode, res.zero_shift, m))
      return failed(m, "no selection");
    if (growing && !keep_trusted_low_angle_pairs(s, mode, res.zero_shift, 0, limit, least))
      growing = false;
    const bool same = pair_keys(s) == before;
    r = refine_cell(s, inputs_from_results(s, weighting), m);
    r.paired_again = run;
    if (r.status != RoadStatus::Refined) {
      if (r.message.empty()) r.message = m.reason("refinement failed");
      return r;
    }
    if (same) {
      // A trusted range that no longer grows: the full pairing comes next.
      if (growing) {
        growing = false;
        continue;
      }
      if (settled) *settled = true;
      break;
    }
  }
  return r;
}

std::string record_json(const WorkSession& s, const RefinementRecord& r) {
  struct Item {
    const char* name;
    double value, sigma;
  };
  std::vector<Item> items;
  for (size_t k = 0; k < kRefinedQuantities; ++k) {
    items.push_back({kQuantityNames[k], r.values[k], r.errors[k]});
    if (k + 1 == kCellQuantities) items.push_back({"volume", r.volume, r.volume_error});
  }
  std::string j = "{\n  \"system\": " + json_string(s.system) +
                  ",\n  \"group\": " + json_string(s.symbol) + ",\n  \"values\": {";
  for (size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    j += std::string(i ? "," : "") + "\n    " + json_string(it.name) + ": {\"value\": " +
         json_number(it.value) + ", \"error\": " + json_number(it.sigma) +
         ", \"text\": " + json_string(with_uncertainty(it.value, it.sigma)) + "}";
  }
  j += "\n  },\n  \"shift_model\": " +
       json_string(r.shift_model == ShiftMode::SampleEccentricity ? "eccentricity" : "constant") +
       ",\n  \"cycles\": " + std::to_string(r.cycles) + ",\n  \"residual\": " + json_number(r.residual) +
       ",\n  \"converged\": " + (r.converged ? "true" : "false") +
       ",\n  \"weighting\": " + json_string(weight_mode_name(r.weighting)) +
       ",\n  \"goodness_of_fit\": " + (r.goodness_of_fit ? json_number(*r.goodness_of_fit) : "null");
  const auto& f = r.quality.figures;
  j += ",\n  \"figures_of_merit\": {\"m20\": " + json_number(f.valid ? f.m20 : NAN) +
       ", \"x20\": " + std::to_string(f.x20) + ", \"f_n\": " + json_number(f.valid ? f.f_n : NAN) +
       ", \"n\": " + std::to_string(f.f_lines) +
       (f.valid ? std::string() : ", \"fom_note\": " + json_string(f.note)) + "}";
  const PairingSummary& pg = r.pairing;
  j += ",\n  \"paired\": " + std::to_string(pg.paired) + ",\n  \"peaks_in_range\": " +
       std::to_string(pg.peaks) + ",\n  \"unpaired\": [";
  for (size_t i = 0; i < pg.unpaired_two_theta.size(); ++i)
    j += std::string(i ? ", " : "") + json_number(pg.unpaired_two_theta[i]);
  j += "]";
  if (too_few_paired(pg)) j += ",\n  \"warning\": " + json_string(too_few_paired_warning(pg));
  j += ",\n  \"paired_again\": " + std::to_string(r.paired_again);
  j += ",\n  \"pairs\": [";
  for (size_t i = 0; i < r.pairs.size(); ++i) {
    const PairRecord& p = r.pairs[i];
    j += std::string(i ? "," : "") + "\n    {\"h\": " + std::to_string(p.h) +
         ", \"k\": " + std::to_string(p.k) + ", \"l\": " + std::to_string(p.l) +
         ", \"two_theta_obs\": " + json_number(p.two_theta_obs) +
         ", \"two_theta_obs_shifted\": " + json_number(p.two_theta_obs_shifted) +
         ", \"two_theta_calc\": " + json_number(p.two_theta_calc) +
         ", \"difference\": " + json_number(p.two_theta_obs_shifted - p.two_theta_calc) +
         ", \"flagged\": " + (p.flagged ? "true" : "false") + "}";
  }
  j += "\n  ]\n}\n";
  return j;
}

}  // namespace vornax
