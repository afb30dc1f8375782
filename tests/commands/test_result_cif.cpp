// The CIF of a refinement, read back with gemmi's CIF reader: the numbers must be those
// of the JSON answer of the same run (value and error), the pairs' calculated angles
// those of the refined cell by Bragg's law, and the file must never replace an input.
#include <gtest/gtest.h>
#include <gemmi/cif.hpp>
#include <gemmi/numb.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <string>

#include "refine/refine_fixtures.hpp"
#include "support/cli_run.hpp"

using namespace refine_test;
namespace cif = gemmi::cif;

namespace {

using vornax::testing::CliRun;

CliRun refine(const std::string& args) { return vornax::testing::run_vornax_cli("refine " + args); }

// Silicon at Cu Kα1 with a +0.030° zero shift, rounded to 0.001°.
void write_silicon_peaks(const char* name) {
  const vornax::CellParameters si{5.431194, 5.431194, 5.431194, 90, 90, 90};
  const int hkl[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}, {4, 2, 2},
                        {5, 1, 1}, {4, 4, 0}, {5, 3, 1}, {6, 2, 0}, {5, 3, 3}};
  std::ofstream f(name);
  for (const auto& m : hkl)
    f << std::round(two_theta(si, 1.540593, m[0], m[1], m[2], 0.030) * 1000) / 1000 << " 100\n";
}

const char* const kSilicon =
    "--peaks si.txt --system CUBI --group 'F d -3 m:2' --cell 5.428 5.428 5.428 90 90 90 "
    "--lambda 1.540593 --range 20 140 --tolerance 0.3 --refine a,shift";

// "5.43119(4)" -> its standard error 0.00004.
double su_of(const std::string& text) {
  const size_t open = text.find('('), dot = text.find('.');
  if (open == std::string::npos) return 0;
  const int decimals = dot == std::string::npos ? 0 : static_cast<int>(open - dot - 1);
  return std::stod(text.substr(open + 1)) * std::pow(10.0, -decimals);
}

}  // namespace

TEST(ResultCif, RefineWritesTheNumbersOfItsJsonAnswer) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt");
  const CliRun json = refine(std::string(kSilicon) + " --json --cif si.cif");
  ASSERT_EQ(json.code, 0) << json.err;
  const auto j = nlohmann::json::parse(json.out);
  const cif::Document doc = cif::read_file("si.cif");
  ASSERT_EQ(doc.blocks.size(), 1u);
  cif::Block b = doc.blocks[0];
  EXPECT_EQ(b.name, "si");

  // Value and error of each quantity as the JSON gives them, to the printed digits.
  struct Item {
    const char* tag;
    const char* json;
  };
  for (const Item& it : {Item{"_cell_length_a", "a"}, Item{"_cell_length_b", "a"}, Item{"_cell_length_c", "a"},
                         Item{"_cell_volume", "volume"}, Item{"_vornax_refine_zero_shift_2theta", "shift"}}) {
    SCOPED_TRACE(it.tag);
    const std::string* text = b.find_value(it.tag);
    ASSERT_NE(text, nullptr);
    const double value = j["values"][it.json]["value"], error = j["values"][it.json]["error"];
    EXPECT_GT(error, 0.0);
    EXPECT_NEAR(cif::as_number(*text), value, 0.51 * error / 10 + 1e-12);
    EXPECT_NEAR(su_of(*text), error, 0.051 * error) << *text;  // two significant digits
  }
  EXPECT_NEAR(cif::as_number(*b.find_value("_cell_length_a")), 5.431194, 2e-4);
  for (const char* angle : {"_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"})
    EXPECT_EQ(cif::as_number(*b.find_value(angle)), 90.0);
  EXPECT_EQ(cif::as_number(*b.find_value("_cell_measurement_wavelength")), 1.540593);
  EXPECT_EQ(cif::as_string(*b.find_value("_symmetry_space_group_name_H-M")), "F d -3 m");
  EXPECT_EQ(*b.find_value("_space_group_crystal_system"), "cubic");
  EXPECT_EQ(cif::as_int(*b.find_value("_refine_ls_number_reflns")), 11);
  EXPECT_NEAR(cif::as_number(*b.find_value("_vornax_figure_of_merit_M")), double(j["figures_of_merit"]["m20"]), 0.051);

  // The pairs: each calculated 2θ is Bragg's law with the refined a (to the 4 printed
  // decimals), and the observed angle less the refined shift is the corrected one.
  const double a = j["values"]["a"]["value"], shift = j["values"]["shift"]["value"];
  cif::Table pairs = b.find(
      {"_refln_index_h", "_refln_index_k", "_refln_index_l", "_vornax_refln_2theta_obs",
       "_vornax_refln_2theta_obs_corrected", "_vornax_refln_2theta_calc"});
  ASSERT_EQ(pairs.length(), 11u);
  for (auto row : pairs) {
    const int h = cif::as_int(row[0]), k = cif::as_int(row[1]), l = cif::as_int(row[2]);
    const double bragg = 2 * std::asin(1.540593 * std::sqrt(h * h + k * k + l * l) / (2 * a)) * 180 / kPi;
    EXPECT_NEAR(cif::as_number(row[5]), bragg, 6e-5) << h << k << l;
    EXPECT_NEAR(cif::as_number(row[3]) - shift, cif::as_number(row[4]), 2e-4);
  }
}

TEST(ResultCif, NeverReplacesAnInputOrAFileOfTheRun) {
  ScratchFolder folder;
  write_silicon_peaks("si.txt");
  const std::string before = [] {
    std::ifstream f("si.txt");
    return std::string(std::istreambuf_iterator<char>(f), {});
  }();
  for (const char* target : {"si.txt", "vornax.out"}) {
    SCOPED_TRACE(target);
    const CliRun r = refine(std::string(kSilicon) + " --cif " + target + " --force");
    EXPECT_NE(r.code, 0);
  }
  std::ifstream f("si.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), before);
  // An existing CIF is replaced only with --force.
  std::ofstream("old.cif") << "data_old\n";
  EXPECT_NE(refine(std::string(kSilicon) + " --cif old.cif").code, 0);
  EXPECT_EQ(refine(std::string(kSilicon) + " --cif old.cif --force").code, 0);
  EXPECT_EQ(cif::read_file("old.cif").blocks.at(0).name, "old");
  EXPECT_NE(cif::read_file("old.cif").blocks.at(0).find_value("_cell_length_a"), nullptr);
}
