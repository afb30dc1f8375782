#include "commands/diagram_commands.hpp"

#include <cstdlib>

#include "core/format.hpp"

namespace vornax {

namespace {

constexpr Changed kPairsChanged = Changed::Selection | Changed::Results;

int first_or_none(const std::vector<int>& v) { return v.empty() ? -1 : v.front(); }

// The tolerance box as a Mode 1 click reads it; nothing (and a message) when it is not
// a number.
std::optional<double> read_tolerance(const WorkSession& s, const std::string& text, Messages& m) {
  const std::string typed = trim(text);
  auto value = typed.empty() ? std::nullopt : parse_typed(typed);
  if (!value || *value < 0) {
    m.error("Error (angular tolerance)");
    return std::nullopt;
  }
  return s.angle_mode == AngleMode::Theta ? 2 * *value : *value;
}

}  // namespace

void diagram_mouse_down(DiagramView& view, Point press) {
  view.press = press;
  view.dragging = true;
}

Changed diagram_mouse_up(WorkSession& s, Messages& m, DiagramView& view, ManualSelection& st,
                         const DiagramRelease& r) {
  const Point press = view.press;
  const bool was_dragging = view.dragging;
  view.dragging = false;
  if (r.at.y < 0 || !view.mapping) return Changed::None;
  if (was_dragging && std::abs(r.at.x - press.x) >= kZoomMinDrag)
    return zoom_by_drag(s, view, press, r.at) ? Changed::CurrentValues : Changed::None;

  if (s.measured.peaks.empty() || s.allowed.empty() || !r.selection_tab_shown)
    return Changed::None;
  const Mapping map = *view.mapping;
  const int x = r.at.x;

  if (r.button == MouseButton::Right) {
    return remove_pair(s, first_or_none(observed_pair_bars_near(map, s, x, kBarHitPixels)))
               ? kPairsChanged
               : Changed::None;
  }
  if (r.button != MouseButton::Left) return Changed::None;

  switch (st.mode) {
    case MouseMode::Mode1: {
      const auto tol = read_tolerance(s, r.tolerance_text, m);
      if (!tol) return Changed::None;
      s.tolerance = *tol;
      bool added = false;
      if (below_axis(map, r.at.y))
        added = mode1_pair_from_calculated(s, st, calculated_bars_near(map, s, x, kBarHitPixels), m);
      else if (above_axis(map, r.at.y))
        added = mode1_pair_from_measured(s, st, measured_bars_near(map, s, x, kBarHitPixels), m);
      return Changed::CurrentValues | (added ? kPairsChanged : Changed::None);
    }
    case MouseMode::Mode2: {
      if (above_axis(map, r.at.y)) {
        // Only a first click chooses; while a choice waits for its reflection the
        // observed bars are not clicked again.
        if (st.pending_obs) return Changed::None;
        const int peak = first_or_none(measured_bars_near(map, s, x, kMode2FirstHitPixels));
        const size_t pairs_before = s.selected.size();
        if (peak >= 0 && choose_measured_peak(s, st, peak, m))
          view.pending_obs = st.pending_obs;
        return s.selected.size() != pairs_before ? kPairsChanged : Changed::None;
      }
      if (below_axis(map, r.at.y) && st.pending_obs) {
        const int refl = first_or_none(calculated_bars_near(map, s, x, kBarHitPixels));
        const bool paired = complete_pending_pair(s, st, refl, m);
        view.pending_obs.reset();
        return paired ? kPairsChanged : Changed::None;
      }
      return Changed::None;
    }
    case MouseMode::Mode3:
    case MouseMode::None:
      break;
  }
  return Changed::None;
}

Changed diagram_reset(WorkSession& s, DiagramView& view) {
  reset_view(s, view);
  return Changed::CurrentValues;
}

Changed diagram_scale(DiagramView& view, int value) {
  press_scale_control(view, value);
  return Changed::None;
}

Changed diagram_shift(WorkSession& s, DiagramView& view, int value) {
  return press_shift_control(s, view, value) ? Changed::CurrentValues : Changed::None;
}

Changed reset_selected_reflections(WorkSession& s, Messages& m) {
  return delete_selection_with_backup(s, m) ? kPairsChanged : Changed::None;
}

Changed restore_selected_reflections(WorkSession& s, Messages& m) {
  return restore_selection(s, m) ? Changed::Selection : Changed::None;
}

Changed modify_zero_offset(WorkSession& s, Messages& m, std::string_view text) {
  return apply_zero_offset(s, text, m) ? Changed::MeasuredPeaks | Changed::Profile
                                       : Changed::None;
}

std::string select_mouse_mode(ManualSelection& st, DiagramView& view, MouseMode mode) {
  view.pending_obs.reset();
  return choose_mouse_mode(st, mode);
}

Changed click_measured_row(WorkSession& s, Messages& m, ManualSelection& st, int row) {
  if (st.mode != MouseMode::Mode3) return Changed::None;
  choose_measured_peak(s, st, row - 1, m);
  return Changed::None;
}

Changed click_calculated_row(WorkSession& s, Messages& m, ManualSelection& st, int row) {
  if (st.mode != MouseMode::Mode3) return Changed::None;
  return complete_pending_pair(s, st, row - 1, m) ? kPairsChanged : Changed::None;
}

Changed retype_selected_indices(WorkSession& s, Messages& m, int row, std::string_view text) {
  switch (retype_indices(s, row, text, m)) {
    case RetypeResult::Deleted:
    case RetypeResult::Changed: return kPairsChanged;
    case RetypeResult::Unchanged:
    case RetypeResult::Refused: break;
  }
  return Changed::None;
}

Changed delete_selected_row(WorkSession& s, int row) {
  return delete_pair_row(s, row) ? kPairsChanged : Changed::None;
}

void profile_mouse_down(ProfileView& view, Point press) {
  view.press = press;
  view.dragging = true;
}

Changed profile_mouse_up(WorkSession& s, Messages& m, ProfileView& view, MouseButton button,
                         Point release) {
  const Point press = view.press;
  view.dragging = false;
  if (s.profile.points.empty() || !view.mapping) return Changed::None;
  const Mapping map = *view.mapping;
  if (button == MouseButton::Right) {
    const int peak = first_or_none(measured_bars_near(map, s, press.x, kBarHitPixels));
    return remove_measured_peak(s, peak) ? Changed::MeasuredPeaks : Changed::None;
  }
  if (release.x < 0 || release.y < 0 || release.x >= map.width || release.y >= map.height)
    return Changed::None;
  if (std::abs(release.x - press.x) >= kZoomMinDrag)
    return zoom_profile_by_drag(s, view, press, release) ? Changed::CurrentValues
                                                         : Changed::None;
  const double a = stored_angle(s.angle_mode, map.angle_at(press.x));
  return measure_peak(s, a, m) ? Changed::MeasuredPeaks : Changed::None;
}

Changed profile_grid_double_click(WorkSession& s, int row) {
  return remove_measured_peak(s, row - 1) ? Changed::MeasuredPeaks : Changed::None;
}

}  // namespace vornax
