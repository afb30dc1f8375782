// The profile intensity under a peak measured by hand on the drawn profile.
#pragma once

#include "core/session.hpp"

namespace vornax {

// The intensity of point k for X[k] <= two_theta < X[k+1] (a click exactly on a point
// gets that point's, the last point included); 0 outside the profile.
double hand_measured_intensity(const Profile& p, double two_theta);

}  // namespace vornax
