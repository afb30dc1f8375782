// Gauss-Jordan inversion and the singularity test of the normal matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/messages.hpp"
#include "refine/least_squares.hpp"
#include "refine/refinement.hpp"
#include "refine_fixtures.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;

namespace {

InversionMatrix from(const std::vector<std::vector<double>>& rows) {
  InversionMatrix m{};
  for (size_t i = 0; i < rows.size(); ++i)
    for (size_t j = 0; j < rows[i].size(); ++j) m[i][j] = rows[i][j];
  return m;
}

double max_identity_error(const InversionMatrix& a, const InversionMatrix& inv, int n) {
  double worst = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = 0;
      for (int k = 0; k < n; ++k) s += a[i][k] * inv[k][j];
      worst = std::max(worst, std::fabs(s - (i == j ? 1.0 : 0.0)));
    }
  return worst;
}

}  // namespace

TEST(InvertMatrix, SmallCasesGiveTheInverseAndTheSignedDeterminant) {
  struct Case {
    const char* name;
    std::vector<std::vector<double>> m;
    double det;
  };
  const Case cases[] = {
      {"1x1", {{4.0}}, 4.0},
      {"swap needed", {{0, 2}, {3, 0}}, -6.0},
      {"largest off the diagonal", {{1, 5, 0}, {0, 1, 7}, {9, 0, 1}}, 316.0},
      {"cyclic permutation", {{0, 0, 2}, {3, 0, 0}, {0, 4, 0}}, 24.0},
      {"symmetric", {{4, 1, 2}, {1, 3, 0}, {2, 0, 5}}, 43.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.m.size());
    const InversionMatrix a = from(c.m);
    InversionMatrix inv;
    const auto res = invert_matrix(a, n, inv);
    EXPECT_FALSE(res.zero_pivot);
    EXPECT_NEAR(res.determinant, c.det, 1e-12 * std::fabs(c.det));
    EXPECT_LT(max_identity_error(a, inv, n), 1e-14);
    EXPECT_EQ(a[0][0], c.m[0][0]);  // the input is left alone
  }
  InversionMatrix inv;
  EXPECT_DOUBLE_EQ(invert_matrix(from({{4.0}}), 1, inv).determinant, 4.0);
  EXPECT_DOUBLE_EQ(inv[0][0], 0.25);
}

TEST(InvertMatrix, EightByEightAndTheLargestOrder) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int n : {8, kMaxInversionOrder}) {
    InversionMatrix a{};
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) a[i][j] = u(rng);
      a[i][i] += 3.0;
    }
    InversionMatrix inv;
    const auto res = invert_matrix(a, n, inv);
    EXPECT_FALSE(res.zero_pivot);
    EXPECT_LT(max_identity_error(a, inv, n), 1e-12) << n;
  }
}

TEST(InvertMatrix, ZeroPivotAndTheLargeDeterminantGuard) {
  InversionMatrix inv;
  const auto singular = invert_matrix(from({{1, 2}, {2, 4}}), 2, inv);
  EXPECT_TRUE(singular.zero_pivot);
  EXPECT_EQ(singular.determinant, 0.0);

  // 1e20 x 1e20 passes 1e30 and is reset to 1; a large negative value is not.
  EXPECT_EQ(invert_matrix(from({{1e20, 0}, {0, 1e20}}), 2, inv).determinant, 1.0);
  EXPECT_DOUBLE_EQ(invert_matrix(from({{-1e20, 0}, {0, 1e20}}), 2, inv).determinant, -1e40);
  EXPECT_DOUBLE_EQ(inv[0][0], -1e-20);
}

TEST(InvertNormalMatrix, JudgesTheMatrixScaledToUnitDiagonal) {
  // Tiny but well-conditioned: the scale of the elements no longer matters.
  NormalMatrix m{};
  m[0][0] = 1e-9;
  EXPECT_FALSE(invert_normal_matrix(m, 1));
  EXPECT_DOUBLE_EQ(m[0][0], 1e9);

  // A zero diagonal, or two nearly equal columns, is singular; the matrix stays.
  NormalMatrix z{};
  z[0][0] = 1;
  z[1][1] = 0;
  EXPECT_TRUE(invert_normal_matrix(z, 2));
  EXPECT_EQ(z[0][0], 1.0);
  NormalMatrix c{};
  c[0][0] = 1e6;
  c[1][1] = 4.0;
  c[0][1] = c[1][0] = 2e3 * (1 - 1e-12);
  EXPECT_TRUE(invert_normal_matrix(c, 2));
  EXPECT_EQ(c[1][1], 4.0);

  // An eight-parameter matrix comes back as its inverse.
  NormalMatrix g{};
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) g[i][j] = 1.0 / (i + j + 1) + (i == j ? 1.0 : 0.0);
  NormalMatrix inv = g;
  ASSERT_FALSE(invert_normal_matrix(inv, 8));
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      double s = 0;
      for (int k = 0; k < 8; ++k) s += g[i][k] * inv[k][j];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-13);
    }
}

// A long triclinic cell has small derivatives: the plain determinant of its normal
// matrix is far below 1e-6 although the matrix is well conditioned.
TEST(InvertNormalMatrix, LongTriclinicCellIsNotSingular) {
  using namespace refine_test;
  const CellParameters cell{15, 17, 20, 94, 97, 101};
  const double mo_ka1 = 0.709319;
  const auto pairs = make_pairs(cell, cell, mo_ka1, 2, 180, 0, false, 0, 15);
  ASSERT_EQ(pairs.size(), 15u);

  RefinementProblem p;
  p.system = "TRIC";
  p.direct = cell;
  direct_to_reciprocal(p);
  for (int i = 0; i < 6; ++i) p.P[i] = p.reciprocal[i];
  p.P[kSlotHalfLambda] = mo_ka1 / 2;
  for (int i = 0; i < 6; ++i) p.K[i] = kKeyRefined;
  p.K[kSlotShift] = kKeyRefined;
  build_refined_vector(p);
  ASSERT_EQ(p.npar, 7);
  for (const auto& pr : pairs)
    p.obs.push_back({pr.h, pr.k, pr.l, pr.two_theta_obs * kTwoThetaDegToThetaRad, 0});
  RecordingMessages msgs;
  compute_calculated_angles(p, msgs);
  compute_design_matrix(p);
  NormalMatrix M{};
  InversionMatrix plain{};
  for (int j = 0; j < 7; ++j)
    for (int k = 0; k < 7; ++k) {
      for (const auto& row : p.D) M[j][k] += row[j] * row[k];
      plain[j][k] = M[j][k];
    }
  InversionMatrix unused;
  EXPECT_LT(std::fabs(invert_matrix(plain, 7, unused).determinant), 1e-6);
  EXPECT_FALSE(invert_normal_matrix(M, 7));
  EXPECT_TRUE(msgs.empty());
  // Its condition number (1-norm, unit diagonal) is modest.
  InversionMatrix scaled{}, scaled_inv;
  for (int j = 0; j < 7; ++j)
    for (int k = 0; k < 7; ++k) scaled[j][k] = plain[j][k] / std::sqrt(plain[j][j] * plain[k][k]);
  invert_matrix(scaled, 7, scaled_inv);
  double norm = 0, norm_inv = 0;
  for (int k = 0; k < 7; ++k) {
    double c = 0, ci = 0;
    for (int j = 0; j < 7; ++j) {
      c += std::fabs(scaled[j][k]);
      ci += std::fabs(scaled_inv[j][k]);
    }
    norm = std::max(norm, c);
    norm_inv = std::max(norm_inv, ci);
  }
  EXPECT_LT(norm * norm_inv, 1e5);
}
