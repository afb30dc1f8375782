#include "profile/hand_measure.hpp"

#include <algorithm>

namespace vornax {

double hand_measured_intensity(const Profile& p, double two_theta) {
  const auto& pts = p.points;
  if (pts.empty()) return 0;
  if (two_theta == static_cast<double>(pts.back().two_theta)) return pts.back().intensity;
  for (size_t k = 0; k + 1 < pts.size(); ++k)
    if (pts[k].two_theta <= two_theta && two_theta < pts[k + 1].two_theta) return pts[k].intensity;
  return 0;
}

}  // namespace vornax
