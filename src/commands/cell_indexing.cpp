#include "commands/cell_indexing.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>

#include "core/catalogue.hpp"
#include "core/profile_formats.hpp"
#include "core/wavelength.hpp"
#include "files/peak_files.hpp"
#include "profile/classification.hpp"
#include "core/cell.hpp"
#include "core/cell_entry.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/reflections.hpp"
#include "core/symmetry.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

using indexing::Centring;

// A monoclinic cell is found with b unique: the list's other settings describe another
// cell.
bool b_unique(const std::string& symbol) {
  std::istringstream in(symbol.substr(0, symbol.find(':')));
  std::vector<std::string> parts;
  for (std::string p; in >> p;) parts.push_back(p);
  return parts.size() == 4 && parts[1] == "1" && parts[3] == "1";
}

// The reflections up to the last line, in lines of one Q each.
std::vector<std::vector<indexing::Reflection>> lines_up_to(const indexing::QMetric& m, double q_max) {
  std::vector<indexing::Reflection> all;
  indexing::reflections_up_to(m, Centring::P, q_max, all);
  std::sort(all.begin(), all.end(),
            [](const indexing::Reflection& x, const indexing::Reflection& y) { return x.q < y.q; });
  std::vector<std::vector<indexing::Reflection>> lines;
  for (const indexing::Reflection& r : all) {
    if (lines.empty() || r.q - lines.back().front().q > 1e-9 * r.q) lines.emplace_back();
    lines.back().push_back(r);
  }
  return lines;
}

}  // namespace

double kalpha1_of(const WavelengthSet& w) {
  if (w.lambda1 > 0) return w.lambda1;
  // Nearer the anode's Kα mean than halfway to its Kα1: a λ1 given as such stays.
  for (const AnodeEntry& a : AnodeTable)
    for (const AnodeLines& l : AnodeLineTable)
      if (l.anode == a.anode && std::abs(w.lambda - a.lambda) < std::abs(a.lambda - l.lambda1) / 2)
        return l.lambda1;
  return w.lambda;
}

PhaseLines phase_lines(const std::vector<MeasuredPeak>& peaks, const WavelengthSet& w) {
  PhaseLines out;
  const double lambda1 = kalpha1_of(w);
  auto at_kalpha1 = [](const MeasuredPeak& p) {
    return p.sigma > 0 || p.line_code == kLineKAlpha1;
  };
  std::vector<const MeasuredPeak*> kept;
  for (const MeasuredPeak& p : peaks) {
    if (p.line_code == kLineKAlpha2 || p.line_code == kLineKBeta || p.line_code == kLineWLAlpha)
      ++out.left_out;
    else
      kept.push_back(&p);
  }
  const bool any_kalpha1 =
      std::any_of(kept.begin(), kept.end(), [&](const MeasuredPeak* p) { return at_kalpha1(*p); });
  out.lambda = any_kalpha1 ? lambda1 : w.lambda;
  if (!(out.lambda > 0)) return out;
  for (const MeasuredPeak* p : kept) {
    const double own = at_kalpha1(*p) ? lambda1 : w.lambda;
    if (own == out.lambda || !(own > 0)) {
      out.two_theta.push_back(p->two_theta);
      continue;
    }
    // The same plane spacing seen at the primary wavelength.
    double t = 0;
    if (same_reflection_angle(p->two_theta, own, out.lambda, t)) out.two_theta.push_back(t);
  }
  return out;
}

bool names_a_profile(const std::filesystem::path& file) {
  const auto peak_type = peak_type_from_extension(file);
  if (profile_types_named_by(file).empty()) return false;
  if (!peak_type) return true;
  // A .txt is the usual name of a typed list, read as one 2θ per line.
  if (*peak_type == PeakFileType::Xfit) return false;
  try {
    read_peak_file(*peak_type, file);
    return false;
  } catch (const FormatError&) {
    return true;
  } catch (const FileError&) {
    return false;  // the peak reader says what is wrong with the file
  }
}

std::string cell_tab_system(const indexing::IndexedCell& c) {
  return system_code(c.type.system == CrystalSystemId::Rhombohedral ? CrystalSystemId::Hexagonal
                                                                      : c.type.system);
}

char cell_tab_lattice_letter(const indexing::IndexedCell& c) {
  // The Bravais symbol's second letter: cP, oC, hR ...
  return c.type.symbol.size() > 1 ? c.type.symbol[1] : 'P';
}

std::vector<GroupProposal> propose_space_groups(const WorkSession& s,
                                                const indexing::IndexedCell& cell,
                                                const std::vector<double>& two_theta,
                                                double lambda, double tolerance) {
  std::vector<GroupProposal> out;
  const auto metric = indexing::q_metric_of_cell(cell.cell);
  if (!metric || !(lambda > 0)) return out;

  // The lines the cell indexes, on its zero.
  std::vector<double> indexed;
  for (double t : two_theta)
    if (std::find(cell.unindexed.begin(), cell.unindexed.end(), t) == cell.unindexed.end())
      indexed.push_back(t - cell.zero);
  if (indexed.empty()) return out;
  const double last = std::min(179.0, *std::max_element(indexed.begin(), indexed.end()) + tolerance);
  const double sin_last = std::sin(last / 2 * std::numbers::pi / 180);
  const auto lines = lines_up_to(*metric, 4 * sin_last * sin_last / (lambda * lambda));

  WorkSession g;
  g.system = cell_tab_system(cell);
  g.working_folder = s.working_folder;
  g.current_folder = s.current_folder;
  g.data_folder = s.data_folder;
  CellTab tab;
  fill_hm_list(g, tab);
  const std::filesystem::path file = find_data_file(g, operator_file_name(g.system));
  const auto file_lines = read_text_lines_kept(file);
  const char letter = cell_tab_lattice_letter(cell);

  for (const std::string& symbol : tab.hm_list) {
    if (is_no_extinction(symbol) || symbol_lattice_letter(symbol, g.system) != letter) continue;
    if (cell.type.system == CrystalSystemId::Monoclinic && !b_unique(symbol)) continue;
    g.symbol = symbol;
    g.lattice_letter = letter;
    g.operators = operators_from_lines(*file_lines, symbol, g.system, file);
    GroupProposal p{symbol, 0, 0};
    std::vector<double> allowed_lines;
    for (const auto& line : lines) {
      bool lattice = false, group = false;
      for (const indexing::Reflection& r : line) {
        lattice |= indexing::centring_allows(cell.type.centring, r.hkl.h, r.hkl.k, r.hkl.l);
        int h = r.hkl.h, k = r.hkl.k, l = r.hkl.l;
        group |= !is_extinct(g, h, k, l);
      }
      if (lattice) ++p.lines;
      if (lattice && !group) ++p.removed;
      if (group) allowed_lines.push_back(two_theta_from_d(1 / std::sqrt(line.front().q), lambda));
    }
    const bool keeps_every_line = std::all_of(indexed.begin(), indexed.end(), [&](double t) {
      return std::any_of(allowed_lines.begin(), allowed_lines.end(),
                         [&](double c) { return std::abs(c - t) <= tolerance; });
    });
    if (keeps_every_line) out.push_back(std::move(p));
  }
  std::stable_sort(out.begin(), out.end(), [](const GroupProposal& x, const GroupProposal& y) {
    return x.removed > y.removed;
  });
  return out;
}

std::array<std::string, 6> found_cell_fields(const indexing::IndexedCell& c) {
  CellParameters p;
  p.a = c.cell.a;
  p.b = c.cell.b;
  p.c = c.cell.c;
  p.alpha = c.cell.alpha;
  p.beta = c.cell.beta;
  p.gamma = c.cell.gamma;
  return show_cell(p);
}

CalcOutcome use_found_cell(WorkSession& s, CellTab& tab, const indexing::IndexedCell& c,
                           const std::string& group, double lambda, Messages& m) {
  // Asked before the system changes, so that No leaves the tab as it was.
  if (!may_drop_hand_pairs(s, m)) return {.failed = true};
  const WorkSession before_session = s;
  const CellTab before_tab = tab;
  if (auto error = choose_system_and_group(s, tab, cell_tab_system(c),
                                           group.empty() ? std::string("No ext.") : group,
                                           GroupList::HM)) {
    s = before_session;
    tab = before_tab;
    m.error(*error);
    return {.failed = true};
  }
  const auto layout = apply_system_layout(s.system, found_cell_fields(c));
  for (size_t i = 0; i < 6; ++i) tab.fields[i] = layout.texts[i];
  tab.tied = layout.tied;
  auto blank = [&](size_t i) { return trim(tab.fields[i]).empty(); };
  if (blank(6) && lambda > 0) tab.fields[6] = format_fixed(lambda, 8, 5);
  if ((blank(7) || blank(8)) && !s.measured.peaks.empty()) {
    const auto [lo, hi] = std::minmax_element(
        s.measured.peaks.begin(), s.measured.peaks.end(),
        [](const MeasuredPeak& x, const MeasuredPeak& y) { return x.two_theta < y.two_theta; });
    tab.fields[7] = format_fixed(angle_for_display(s, std::max(0.0, lo->two_theta - 2)), 7, 2);
    tab.fields[8] = format_fixed(angle_for_display(s, std::min(179.0, hi->two_theta + 2)), 7, 2);
  }
  return calculate_reflections(s, tab, m);
}

}  // namespace vornax
