// Cell metric against hand calculations and an independent metric-tensor computation.
#include <gtest/gtest.h>

#include <cmath>

#include "core/cell.hpp"
#include "support/metric.hpp"

using namespace vornax;


TEST(CellMetric, CubicReciprocalCellUsesTheProgramsConstants) {
  CellParameters c{5, 5, 5, 90, 90, 90};
  ReciprocalCell rc;
  ReciprocalMatrix B;
  compute_reciprocal(c, rc, B);
  EXPECT_NEAR(rc.a_star, 0.2, 1e-12);
  EXPECT_NEAR(rc.b_star, 0.2, 1e-12);
  EXPECT_NEAR(rc.c_star, 0.2, 1e-12);
  // cos(90°) with the 10-digit π/180 is 1.33e-8, so the reciprocal angles are not 90.
  EXPECT_NEAR(rc.alpha_star, 90.0000015, 5e-8);
  EXPECT_NEAR(rc.beta_star, 90.0000015, 5e-8);
  EXPECT_NEAR(rc.gamma_star, 90.0000015, 5e-8);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(B[i][i], 0.2, 5e-9);
  const double q = inverse_d_squared(B, 1, 1, 0);
  EXPECT_NEAR(q, 0.08, 1e-8);
  const double d = 1 / std::sqrt(q);
  EXPECT_NEAR(d, 3.53553, 5e-6);
  EXPECT_NEAR(two_theta_from_d(3.53553, 1.5406), 25.1684, 5e-5);
}

TEST(CellMetric, LowSymmetryCellsMatchTheMetricTensor) {
  struct Case {
    CellParameters cell;
  };
  const Case cases[] = {
      {{9.52, 6.83, 12.41, 90, 101.37, 90}},        // monoclinic
      {{7.21, 8.94, 10.05, 83.45, 76.12, 101.88}},  // triclinic
      {{4.913, 4.913, 5.405, 90, 90, 120}},         // hexagonal
      {{5.43, 5.43, 5.43, 55.3, 55.3, 55.3}},       // rhombohedral
  };
  for (const auto& tc : cases) {
    ReciprocalCell rc;
    ReciprocalMatrix B;
    compute_reciprocal(tc.cell, rc, B);
    for (int h = -3; h <= 3; ++h)
      for (int k = -3; k <= 3; ++k)
        for (int l = -3; l <= 3; ++l) {
          if (!h && !k && !l) continue;
          const double ours = inverse_d_squared(B, h, k, l);
          const double ref = vornax::testing::inverse_d2_from_metric(tc.cell, h, k, l);
          ASSERT_NEAR(ours / ref, 1.0, 2e-7) << h << " " << k << " " << l;
        }
  }
}

TEST(CellMetric, VolumeOfKnownCells) {
  EXPECT_NEAR(cell_volume({5, 5, 5, 90, 90, 90}), 125.0, 1e-6);
  EXPECT_NEAR(cell_volume({4, 4, 7, 90, 90, 120}), 16 * 7 * std::sqrt(3.0) / 2, 1e-5);
}

TEST(AngleMode, ThetaModeHalvesShownAndDoublesTypedValues) {
  WorkSession s;
  EXPECT_DOUBLE_EQ(angle_for_display(s, 40.0), 40.0);
  s.angle_mode = AngleMode::Theta;
  EXPECT_DOUBLE_EQ(angle_for_display(s, 40.0), 20.0);
  EXPECT_DOUBLE_EQ(angle_from_entry(s, 20.0), 40.0);
}
