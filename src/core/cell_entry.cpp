#include "core/cell_entry.hpp"

#include <algorithm>
#include <cmath>

#include "core/cell.hpp"
#include "core/format.hpp"

namespace vornax {

std::string system_code_from_entry(std::string_view entry) {
  return to_upper(entry.substr(0, 4));
}

int system_index(std::string_view code) {
  for (int i = 0; i < static_cast<int>(kSystemCodes.size()); ++i)
    if (code == kSystemCodes[static_cast<size_t>(i)]) return i;
  return -1;
}

std::string CellTab::system_entry() const {
  if (system_index < 0 || system_index >= static_cast<int>(kSystemEntries.size())) return {};
  return kSystemEntries[static_cast<size_t>(system_index)];
}

CellEntryInput CellTab::input() const {
  CellEntryInput in;
  in.system_entry = system_entry();
  if (hm_selected >= 0 && hm_selected < static_cast<int>(hm_list.size()))
    in.hm_selection = hm_list[static_cast<size_t>(hm_selected)];
  if (getspec_selected >= 0 && getspec_selected < static_cast<int>(getspec_list.size()))
    in.getspec_selection = getspec_list[static_cast<size_t>(getspec_selected)];
  in.fields = fields;
  for (size_t i = 0; i < 9; ++i) in.edited[i] = typed[i] && *typed[i] == fields[i];
  return in;
}

static bool near90(std::optional<double> v) { return v && std::fabs(*v - 90.0) < 0.002; }

std::array<bool, 6> offered_cell_flags(std::string_view code, std::optional<double> alpha,
                                       std::optional<double> beta, std::optional<double> gamma) {
  const CrystalSystem& sys = crystal_system(code);
  std::array<bool, 6> f = sys.offered;
  if (sys.offers_odd_angle) {
    if (near90(alpha) && near90(gamma)) f[kFieldBeta - 1] = true;
    if (near90(alpha) && near90(beta)) f[kFieldGamma - 1] = true;
    if (near90(beta) && near90(gamma)) f[kFieldAlpha - 1] = true;
  }
  return f;
}

// The "To refine" flags a system sets: the offered cell quantities enabled and checked,
// shift and wavelength enabled and unchecked.
static void set_default_flags(const std::array<bool, 6>& offered, RefineFlags& checked,
                              RefineFlags& enabled) {
  checked.fill(false);
  enabled.fill(false);
  for (size_t i = 0; i < kCellQuantities; ++i) checked[i] = enabled[i] = offered[i];
  enabled[index_of(RefinedQuantity::Shift)] = enabled[index_of(RefinedQuantity::Lambda)] = true;
}

SystemLayout apply_system_layout(std::string_view code, const std::array<std::string, 6>& in) {
  const CrystalSystem& sys = crystal_system(code);
  SystemLayout L;
  L.texts = in;
  L.tied = sys.grey;
  if (!sys.fixed_angles[0].empty())
    for (size_t i = 0; i < 3; ++i) L.texts[3 + i] = std::string(sys.fixed_angles[i]);
  for (size_t i = 0; i < 6; ++i) L.texts[i] = L.texts[static_cast<size_t>(sys.copy_from[i])];
  auto angle = [&](int i) { return parse_typed(L.texts[static_cast<size_t>(i)]); };
  set_default_flags(offered_cell_flags(code, angle(3), angle(4), angle(5)), L.flag_checked,
                    L.flag_enabled);
  return L;
}

VerificationResult check_cell_field(WorkSession& s, int field, const std::string& text, Messages& m) {
  VerificationResult r;
  auto v = parse_typed(text);
  if (!v) {
    m.error("Type error!");
    return r;
  }
  r.ok = true;
  // Typing a master field fills the fields that copy it; for an angle the session's
  // copies follow at once.
  const auto& copy_from = crystal_system(s.system).copy_from;
  const int master = field - 1;
  if (field == kFieldA || field == kFieldAlpha)
    for (size_t j = 0; j < 6; ++j)
      if (copy_from[j] == master && static_cast<int>(j) != master) r.copies[j] = text;
  switch (field) {
    case kFieldA: s.cell.a = *v; break;
    case kFieldB: s.cell.b = *v; break;
    case kFieldC: s.cell.c = *v; break;
    case kFieldAlpha:
      s.cell.alpha = *v;
      if (r.copies[kFieldBeta - 1]) s.cell.beta = *v;
      if (r.copies[kFieldGamma - 1]) s.cell.gamma = *v;
      break;
    case kFieldBeta: s.cell.beta = *v; break;
    case kFieldGamma: s.cell.gamma = *v; break;
    default: break;
  }
  return r;
}

void read_symbol_from_lists(WorkSession& s, const std::optional<std::string>& hm,
                            const std::optional<std::string>& getspec) {
  if (hm) {
    s.symbol = trim(*hm);
    s.symbol_kind = "HM";
  } else if (getspec) {
    s.symbol = getspec->substr(0, 12);
    s.symbol_kind = "HALL";
  } else {
    s.symbol.clear();
  }
  s.symbol = to_upper(trim(s.symbol));
}

// The nine values in reading order, as places in the session.
static std::array<double*, 9> entry_targets(WorkSession& s) {
  return {&s.cell.a,     &s.cell.b,    &s.cell.c,           &s.cell.alpha, &s.cell.beta,
          &s.cell.gamma, &s.wavelengths.lambda, &s.range_min, &s.range_max};
}

// Decimals the program writes into each of the nine fields.
static constexpr std::array<int, 9> kEntryDecimals = {4, 4, 4, 3, 3, 3, 5, 2, 2};

// One field: a field the user left alone, still showing the stored value as the program
// wrote it, keeps that value (ranges are shown halved in θ mode, and doubled again after
// reading).
static std::optional<double> read_entry_field(const WorkSession& s, size_t i, double stored,
                                              const std::string& text, bool edited = false) {
  const double shown = i >= 7 ? angle_for_display(s, stored) : stored;
  return read_shown_number(text, shown, kEntryDecimals[i], edited);
}

static void finish_range(WorkSession& s) {
  if (s.angle_mode == AngleMode::Theta) {
    s.range_min *= 2;
    s.range_max *= 2;
  }
  widen_window_to_range(s);
}

std::optional<CellEntryEcho> read_cell_entry(WorkSession& s, const CellEntryInput& in,
                                             Messages& m) {
  static constexpr std::array<const char*, 9> kMessages = {
      "Error on a",     "Error on b",     "Error on c",
      "Error on alpha", "Error on beta",  "Error on gamma",
      "Error on lambda", "Error on theta_min", "Error on theta_max"};
  if (!in.system_entry.empty()) s.system = system_code_from_entry(in.system_entry);
  read_symbol_from_lists(s, in.hm_selection, in.getspec_selection);
  // All nine fields are read before any is stored: an entry read only in part would
  // leave a cell, a wavelength and a range the user never entered together.
  auto targets = entry_targets(s);
  std::array<double, 9> values{};
  for (size_t i = 0; i < 9; ++i) {
    if (in.fields[i].empty()) {
      if (!in.empty_is_error) return std::nullopt;
      // A cell must be typed whole; an empty wavelength or range means "not defined"
      // (0), which the calculation warns about.
      if (i < 6) {
        m.error(kMessages[i]);
        return std::nullopt;
      }
      values[i] = 0;
      continue;
    }
    auto v = read_entry_field(s, i, *targets[i], in.fields[i], in.edited[i]);
    if (!v) {
      m.error(kMessages[i]);
      return std::nullopt;
    }
    values[i] = *v;
  }
  for (size_t i = 0; i < 9; ++i) *targets[i] = values[i];
  finish_range(s);
  CellEntryEcho echo;
  echo.lambda = format_fixed(s.wavelengths.lambda, 8, 5);
  echo.range_min = format_fixed(angle_for_display(s, s.range_min), 8, 2);
  echo.range_max = format_fixed(angle_for_display(s, s.range_max), 8, 2);
  return echo;
}

bool read_cell_entry_quietly(WorkSession& s, const std::array<std::string, 9>& fields) {
  auto targets = entry_targets(s);
  for (size_t i = 0; i < 9; ++i) {
    if (fields[i].empty()) return false;
    auto v = read_entry_field(s, i, *targets[i], fields[i]);
    if (!v) {
      if (i > 0) return false;
      *targets[i] = 0;  // a badly typed a is taken as 0; the full reading reports it
      continue;
    }
    *targets[i] = *v;
  }
  finish_range(s);
  return true;
}

void reset_refine_flags(WorkSession& s) {
  set_default_flags(offered_cell_flags(s.system, s.cell.alpha, s.cell.beta, s.cell.gamma),
                    s.refine_checked, s.refine_enabled);
}

void apply_system_layout(WorkSession& s, CellTab& tab) {
  std::array<std::string, 6> cell;
  std::copy_n(tab.fields.begin(), 6, cell.begin());
  const auto L = apply_system_layout(s.system, cell);
  std::copy_n(L.texts.begin(), 6, tab.fields.begin());
  tab.tied = L.tied;
  s.refine_checked = L.flag_checked;
  s.refine_enabled = L.flag_enabled;
}

std::string range_text_for_mode(std::string_view text, double stored, AngleMode from,
                                AngleMode to) {
  if (from == to || trim(text).empty()) return std::string(text);
  const double shown = from == AngleMode::Theta ? stored * 0.5 : stored;
  const auto value = read_shown_number(text, shown, 2);
  if (!value) return std::string(text);
  if (*value == shown) return format_fixed(to == AngleMode::Theta ? stored * 0.5 : stored, 8, 2);
  const double converted = to == AngleMode::Theta ? *value * 0.5 : *value * 2.0;
  // 8:2 as the program writes the range, with more decimals when the value has them.
  auto exact_with = [&](int decimals) {
    const auto back = parse_real(format_fixed(converted, 0, decimals));
    return !back || std::fabs(*back - converted) <= 1e-9 * std::max(1.0, std::fabs(converted));
  };
  int decimals = 2;
  while (decimals < 6 && !exact_with(decimals)) ++decimals;
  return format_fixed(converted, 8, decimals);
}

std::array<std::string, 6> show_cell(const CellParameters& c) {
  return {format_fixed(c.a, 8, 4),     format_fixed(c.b, 8, 4),    format_fixed(c.c, 8, 4),
          format_fixed(c.alpha, 8, 3), format_fixed(c.beta, 8, 3), format_fixed(c.gamma, 8, 3)};
}

std::string detect_system(const CellParameters& c, std::string_view current) {
  const bool ab = std::fabs(c.a - c.b) < 0.001;
  const bool bc = std::fabs(c.b - c.c) < 0.001;
  const bool ca = std::fabs(c.c - c.a) < 0.001;
  const bool al90 = c.alpha == 90, be90 = c.beta == 90, ga90 = c.gamma == 90;
  using enum CrystalSystemId;
  if (al90 && be90 && ga90) {
    if (ab && bc && ca) return system_code(Cubic);
    if (ab && !bc) return system_code(Tetragonal);
    if (!ab && !bc) return system_code(Orthorhombic);
    return std::string(current);
  }
  if (al90 && be90 && c.gamma == 120) return system_code(Hexagonal);
  if (ab && bc && ca) return system_code(Rhombohedral);
  const int n90 = int(al90) + int(be90) + int(ga90);
  if (n90 == 2) return system_code(Monoclinic);
  return system_code(Triclinic);
}

}  // namespace vornax
