// Measured patterns indexed from their own profiles, as a user runs `index FILE`: the
// reference cell must come first. The project's copies (tests/data/real) always run;
// the development set beside the project (../shared/data/real) when it is there.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "indexing/generated_lines.hpp"
#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using namespace indexing_test;

namespace {

Centring centring_of(char letter) {
  switch (letter) {
    case 'I': return Centring::I;
    case 'F': return Centring::F;
    case 'C': return Centring::C;
    case 'R': return Centring::R;
    default: return Centring::P;
  }
}

struct RealPattern {
  const char* file;  // under tests/data/real, or ../shared/data/real with `shared`
  bool shared;
  const char* options;
  const char* lattice;  // of the reference cell
  CellParams reference;
  double tolerance;  // relative, on the reduced cells: literature cells are approximate
};

}  // namespace

TEST(RealPatterns, AreIndexedByTheirReferenceCellFirst) {
  const RealPattern patterns[] = {
      {"pyxrd-brk_raw2/brk_raw2.raw", false, "", "hP", {3.2498, 3.2498, 5.2066, 90, 90, 120}, 0.003},
      // The d-glide removes the lines that would fix the cubic lattice directly: it is
      // found through a monoclinic lattice of a quarter of its volume.
      {"ozakary-RbTa2O5F/RbTa2O5F.xrdml", false, "", "cF", {10.4774, 10.4774, 10.4774, 90, 90, 90}, 0.003},
      {"ozakary-RbTa2O5F/RbTa2O5F.xrdml", false, "--systems CUBI", "cF", {10.4774, 10.4774, 10.4774, 90, 90, 90}, 0.003},
      {"g2tut-Keokuk_kaolinite/Keokuk kaolinite.RAW", true, "", "aC",
       {5.1554, 8.9448, 7.4048, 91.7, 104.862, 89.822}, 0.005},
      // A synchrotron pattern of an organic with b = 21.5 Å; the literature cell is
      // approximate.
      {"g2tut-x3lactos/x3lactos.xye", true, "--lambda 0.69968", "mP", {7.98, 21.54, 4.82, 90, 109.8, 90}, 0.01},
  };
  const std::filesystem::path own = std::filesystem::path(VORNAX_TESTS_DIR) / "data" / "real";
  const std::filesystem::path shared = std::filesystem::path(VORNAX_TESTS_DIR) / ".." / ".." / "shared" / "data" / "real";
  for (const RealPattern& p : patterns) {
    SCOPED_TRACE(std::string(p.file) + " " + p.options);
    const std::filesystem::path file = (p.shared ? shared : own) / p.file;
    if (!std::filesystem::exists(file)) {
      ASSERT_TRUE(p.shared) << "the project's copy is missing";
      std::cout << "[ SKIPPED  ] " << p.file << ": the development set is not beside the project\n";
      continue;
    }
    refine_test::ScratchFolder folder;
    const auto r = vornax::testing::run_vornax_cli("index '" + file.string() + "' --jobs 2 --json " + p.options);
    ASSERT_EQ(r.code, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_FALSE(doc["candidates"].empty());
    const auto& best = doc["candidates"][0];
    const std::string lattice = best["lattice"];
    const CellParams found{best["a"], best["b"], best["c"], best["alpha"], best["beta"], best["gamma"]};
    EXPECT_TRUE(same_lattice(primitive_metric(found, centring_of(lattice.at(1))),
                             primitive_metric(p.reference, centring_of(p.lattice[1])), p.tolerance))
        << best.dump();
    if (p.lattice[0] != 'a') {
      EXPECT_EQ(lattice, p.lattice) << best.dump();
    }
  }
}
