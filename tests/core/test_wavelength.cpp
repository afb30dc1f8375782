// Wavelength completion, anode naming and the wavelength window's choices.
#include <gtest/gtest.h>

#include "core/wavelength.hpp"

namespace vornax {
namespace {

TEST(Wavelength, CompletionFromTheKalphaPair) {
  struct Case {
    WavelengthSet in;
    double lambda, ratio;
  };
  const Case cases[] = {
      // (0.5 × 1.54439 + 1.54056) / 1.5 = 1.5418367
      {{0, 1.54056, 1.54439, 0.5, ""}, 1.5418366666666667, 0.5},
      {{0, 1.54056, 0, 0.5, ""}, 1.54056, 0.5},             // no λ2: λ1
      {{0, 1.54056, 1.54439, -1, ""}, 1.5418366666666667, 0.5},  // -1 would divide by 0
      {{1.6, 1.54056, 1.54439, 0.5, ""}, 1.6, 0.5},         // λ given stays
      {{0, 0, 0, 0, "co"}, (0.5 * 1.79285 + 1.78897) / 1.5, 0.5},  // lines from the anode
      {{0, 0, 0, 0, "?"}, 0, 0},
  };
  for (const auto& c : cases) {
    WavelengthSet w = c.in;
    complete_wavelength_set(w);
    EXPECT_NEAR(w.lambda, c.lambda, 1e-12) << c.in.lambda1 << " " << c.in.anode;
    EXPECT_EQ(w.ratio, c.ratio);
  }
  WavelengthSet p{0, 0, 1.79285, 0.5, ""};
  complete_peak_wavelength(p);
  EXPECT_EQ(p.lambda, 1.79285);
}

TEST(Wavelength, AnodeNamedWithinTheTolerance) {
  struct Case {
    double lambda, tolerance;
    const char* anode;
  };
  const Case cases[] = {
      {1.5418, 0.005, "Cu"},  {1.5406, 0.005, "Cu"},  {1.5470, 0.005, "?"},
      {1.5470, 0.01, "Cu"},   {0.7107, 0.005, "Mo"},  {2.2909, 0.005, "Cr"},
      {1.93604, 0.005, "Fe"}, {1.7902, 0.005, "Co"},  {0, 0.01, "?"},
      {-1.5418, 0.01, "?"},   {12.0, 0.01, "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(name_anode(c.lambda, c.tolerance), c.anode) << c.lambda;
  WavelengthSet kept{1.5418, 0, 0, 0, "Mo "};
  name_anode_if_unknown(kept, 0.005);
  EXPECT_EQ(kept.anode, "Mo");
  WavelengthSet blank{1.5418, 0, 0, 0, "  "};
  name_anode_if_unknown(blank, 0.005);
  EXPECT_EQ(blank.anode, "Cu");
  EXPECT_TRUE(wavelengths_differ(1.5406, 1.5506 + 1e-9));
  EXPECT_FALSE(wavelengths_differ(1.5406, 1.5456));
  EXPECT_FALSE(wavelengths_differ(1.5406, 0));
}

// A wavelength exactly one tolerance away from another, in decimals, is on the same
// side of the tolerance whichever side it lies on, although its binary difference is
// a hair above or below the tolerance (|1.5518 - 1.5418| = 0.010000000000000009,
// |1.5468 - 1.5418| = 0.004999999999999893).
TEST(Wavelength, ExactlyOneToleranceApartIsDecidedAsInDecimals) {
  struct Differ {
    double peaks, profile;
    bool differ;
  };
  const Differ consistency[] = {
      {1.5418, 1.5518, false}, {1.5418, 1.5318, false}, {0.7107, 0.7207, false},
      {2.2909, 2.2809, false}, {1.93604, 1.94604, false},
      {1.5418, 1.5519, true},  {1.5418, 1.5317, true},  {1.5418, 1.7902, true},
  };
  for (const auto& c : consistency)
    EXPECT_EQ(wavelengths_differ(c.peaks, c.profile), c.differ) << c.peaks << " " << c.profile;

  // Naming is "less than": one tolerance away names nothing, on either side.
  struct Named {
    double lambda, tolerance;
    const char* anode;
  };
  const Named naming[] = {
      {1.5468, 0.005, "?"},  {1.5368, 0.005, "?"},  {1.7952, 0.005, "?"},
      {2.2959, 0.005, "?"},  {2.3009, 0.01, "?"},   {2.2809, 0.01, "?"},
      {1.5467, 0.005, "Cu"}, {1.5369, 0.005, "Cu"}, {2.3008, 0.01, "Cr"},
  };
  for (const auto& c : naming)
    EXPECT_EQ(name_anode(c.lambda, c.tolerance), c.anode) << c.lambda << " " << c.tolerance;
}

TEST(WavelengthWindow, SourceChoicesAndOk) {
  SourceChoice cu;
  choose_source(cu, 1);
  EXPECT_TRUE(cu.lines_visible);
  EXPECT_EQ(cu.lambda_text, " 1.54180");
  auto r = accept_source(cu);
  ASSERT_TRUE(r.set);
  EXPECT_DOUBLE_EQ(r.set->lambda, 1.5418);
  EXPECT_DOUBLE_EQ(r.set->lambda1, 1.54056);
  EXPECT_DOUBLE_EQ(r.set->lambda2, 1.54439);
  EXPECT_DOUBLE_EQ(r.set->ratio, 0.5);
  EXPECT_EQ(r.set->anode, "Cu");

  SourceChoice none;
  none.lambda_text = "1.6";
  r = accept_source(none);
  ASSERT_TRUE(r.set);
  EXPECT_EQ(r.set->anode, "?");
  EXPECT_EQ(r.set->ratio, 1.0);
  EXPECT_EQ(r.set->lambda1, 0);

  SourceChoice other;
  choose_source(other, 5);
  EXPECT_FALSE(other.lines_visible);
  EXPECT_EQ(other.anode, "Xx");
  struct Bad {
    const char *lambda, *l1, *l2, *error;
  };
  const Bad bad[] = {{"", "0", "0", "Lambda error!"},     {"abc", "0", "0", "Lambda error!"},
                     {"0", "0", "0", "Lambda error!"},    {"-1.5", "0", "0", "Lambda error!"},
                     {"1.5", "x", "0", "Lambda1 error!"}, {"1.5", "", "y", "Lambda2 error!"}};
  for (const auto& b : bad) {
    other.lambda_text = b.lambda;
    other.lambda1_text = b.l1;
    other.lambda2_text = b.l2;
    r = accept_source(other);
    EXPECT_FALSE(r.set);
    EXPECT_EQ(r.error, b.error) << b.lambda;
  }
  other.lambda_text = "1.9";
  other.lambda1_text = "";
  other.lambda2_text = "";
  r = accept_source(other);
  ASSERT_TRUE(r.set);
  EXPECT_EQ(r.set->anode, "Xx");
}

}  // namespace
}  // namespace vornax
