#include "commands/result_cif.hpp"

#include <gemmi/symmetry.hpp>

#include "core/crystal_system.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

// The words of the CIF dictionary's _space_group_crystal_system.
std::string cif_crystal_system(const std::string& code) {
  switch (system_of(code)) {
    case CrystalSystemId::Cubic: return "cubic";
    case CrystalSystemId::Tetragonal: return "tetragonal";
    case CrystalSystemId::Orthorhombic: return "orthorhombic";
    case CrystalSystemId::Hexagonal: return "hexagonal";
    case CrystalSystemId::Rhombohedral: return "trigonal";
    case CrystalSystemId::Monoclinic: return "monoclinic";
    case CrystalSystemId::Triclinic: return "triclinic";
    case CrystalSystemId::None: break;
  }
  return "?";
}

// A text value: quoted when it holds a blank, as CIF wants; '?' when empty.
std::string cif_text(const std::string& t) {
  if (t.empty()) return "?";
  if (t.find_first_of(" \t'") == std::string::npos && t[0] != '_' && t[0] != '#' && t[0] != '$' &&
      t[0] != '"' && t[0] != '[' && t[0] != ';')
    return t;
  if (t.find('\'') == std::string::npos) return "'" + t + "'";
  return "\"" + t + "\"";
}

// The session keeps the symbol upper-cased; the tables spell it as printed.
std::string hm_symbol(const WorkSession& s) {
  if (s.symbol_kind != "HALL") {
    try {
      if (const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(trim(s.symbol)))
        return sg->hm;
    } catch (const std::exception&) {
      // A symbol the tables do not read is written as the session has it.
    }
  }
  return trim(s.symbol);
}

// A value and its error, the error's first two significant digits in parentheses (as
// --json and the report viewer write it); a value without error alone.
std::string with_error(double v, double e) {
  return e > 0 ? with_uncertainty(v, e) : format_fixed(v, 0, 6);
}

void item(std::string& out, std::string_view name, const std::string& value) {
  std::string line(name);
  line.resize(std::max<size_t>(line.size() + 1, 40), ' ');
  out += line + value + "\n";
}

}  // namespace

std::string cif_block_name(std::string_view text) {
  std::string out;
  for (char c : text) out += static_cast<unsigned char>(c) <= ' ' ? '_' : c;
  return out.empty() ? "vornax" : out;
}

std::string result_cif(const WorkSession& s, const RefinementRecord& r, std::string_view block) {
  std::string out = "data_" + cif_block_name(block) + "\n\n";
  item(out, "_computing_cell_refinement", "VORNAX");
  item(out, "_symmetry_space_group_name_H-M", cif_text(hm_symbol(s)));
  item(out, "_space_group_crystal_system", cif_crystal_system(s.system));
  out += "\n";
  // A length or angle the system ties to another carries that one's error.
  const CrystalSystem& sys = crystal_system(s.system);
  const char* names[] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                         "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
  for (size_t k = 0; k < kCellQuantities; ++k) {
    const size_t master = sys.id == CrystalSystemId::None ? k : static_cast<size_t>(sys.copy_from[k]);
    item(out, names[k], with_error(r.values[k], r.errors[master]));
  }
  item(out, "_cell_volume", with_error(r.volume, r.volume_error));
  item(out, "_cell_measurement_wavelength",
       with_error(r.values[index_of(RefinedQuantity::Lambda)], r.errors[index_of(RefinedQuantity::Lambda)]));
  out += "\n";
  item(out, "_refine_ls_number_reflns", std::to_string(r.pairs.size()));
  int npar = 0;
  for (bool k : r.refined) npar += k;
  item(out, "_refine_ls_number_parameters", std::to_string(npar));
  // Local names: the core dictionaries have none for these.
  item(out, "_vornax_refine_zero_shift_2theta",
       with_error(r.values[index_of(RefinedQuantity::Shift)], r.errors[index_of(RefinedQuantity::Shift)]));
  item(out, "_vornax_refine_shift_model",
       r.shift_model == ShiftMode::SampleEccentricity ? "eccentricity" : "constant");
  item(out, "_vornax_refine_residual_2theta", format_fixed(r.residual, 0, 6));
  item(out, "_vornax_refine_converged", r.converged ? "yes" : "no");
  const FiguresOfMerit& f = r.quality.figures;
  if (f.valid) {
    item(out, "_vornax_figure_of_merit_M_lines", std::to_string(f.m_lines));
    item(out, "_vornax_figure_of_merit_M", format_fixed(f.m20, 0, 1));
    item(out, "_vornax_figure_of_merit_F_lines", std::to_string(f.f_lines));
    item(out, "_vornax_figure_of_merit_F", format_fixed(f.f_n, 0, 1));
  } else {
    item(out, "_vornax_figure_of_merit_M", "?");
    item(out, "_vornax_figure_of_merit_F", "?");
  }
  out += "\nloop_\n_refln_index_h\n_refln_index_k\n_refln_index_l\n"
         "_vornax_refln_2theta_obs\n_vornax_refln_2theta_obs_corrected\n_vornax_refln_2theta_calc\n";
  for (const PairRecord& p : r.pairs)
    out += format_int(p.h, 4) + format_int(p.k, 4) + format_int(p.l, 4) + " " +
           format_fixed(p.two_theta_obs, 10, 4) + " " + format_fixed(p.two_theta_obs_shifted, 10, 4) +
           " " + format_fixed(p.two_theta_calc, 10, 4) + "\n";
  return out;
}

void save_result_cif(const WorkSession& s, const RefinementRecord& r,
                     const std::filesystem::path& path) {
  write_file_atomically(path, result_cif(s, r, path.stem().string()));
}

}  // namespace vornax
