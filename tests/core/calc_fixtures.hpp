// Helpers shared by the reflection, calculation and command-line tests: a private
// temporary folder to work in, operator tables taken straight from gemmi, and small
// catalogue files (spgr2.dat and .pos files) written from gemmi's tables.
#pragma once

#include <gemmi/symmetry.hpp>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/format.hpp"
#include "core/session.hpp"

namespace vornax::testing {

// A fresh folder made current for the life of the object (files with fixed names are
// written into the current folder, and tests run in parallel).
class TempFolder {
 public:
  TempFolder() {
    old_ = std::filesystem::current_path();
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("vornax-h2-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path old_, path_;
};

inline std::string read_bytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void write_bytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

inline const gemmi::SpaceGroup& gemmi_group(const std::string& name) {
  const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(name);
  if (!sg) throw std::runtime_error("gemmi does not know " + name);
  return *sg;
}

// The group's operators without centring translations, as the program's table holds
// them (rotation rows and translation, in fractions).
inline std::vector<SymmetryOperator> gemmi_sym_ops(const gemmi::SpaceGroup& sg) {
  std::vector<SymmetryOperator> out;
  for (const gemmi::Op& op : sg.operations().sym_ops) {
    SymmetryOperator s;
    for (size_t r = 0; r < 3; ++r) {
      for (size_t c = 0; c < 3; ++c)
        s.rows[r][c] = static_cast<double>(op.rot[r][c]) / gemmi::Op::DEN;
      s.rows[r][3] = static_cast<double>(op.tran[r]) / gemmi::Op::DEN;
    }
    out.push_back(s);
  }
  return out;
}

// One block of a .pos operator file: the symbol, "not centrosymmetric", and the
// coordinate triplets of the group's operators without centring, upper-cased.
inline std::string pos_block(const std::string& symbol, const gemmi::SpaceGroup& sg) {
  std::string out = "\r\n" + symbol + "\r\n0\r\n";
  const auto& ops = sg.operations().sym_ops;
  out += std::to_string(ops.size()) + "\r\n";
  for (const gemmi::Op& op : ops) {
    std::string t = to_upper(op.triplet());
    // The operator files write -x+y as Y-X.
    for (size_t p; (p = t.find("-X+Y")) != std::string::npos;) t.replace(p, 4, "Y-X");
    out += t + "\r\n";
  }
  return out;
}

// One spgr2.dat line: H-M in columns 6..17, Hall in 27..46, a code in 47..49.
inline std::string catalogue_line(const std::string& hm, const std::string& hall,
                                  const std::string& code) {
  auto pad = [](std::string t, size_t w) {
    t.resize(w, ' ');
    return t;
  };
  return "     " + pad(hm, 12) + std::string(9, ' ') + pad(hall, 20) + pad(code, 3);
}

// A 637-line spgr2.dat whose cubic block (lines 558..) and hexagonal block (lines
// 481..) start with the given lines; every other line is a filler group.
inline std::string catalogue_text(const std::vector<std::string>& cubic_lines,
                                  const std::vector<std::string>& hexagonal_lines = {}) {
  std::string out;
  for (int n = 1; n <= 637; ++n) {
    std::string line = catalogue_line("P 1", "P 1", "001");
    if (n >= 558 && n - 558 < static_cast<int>(cubic_lines.size()))
      line = cubic_lines[static_cast<size_t>(n - 558)];
    if (n >= 481 && n - 481 < static_cast<int>(hexagonal_lines.size()))
      line = hexagonal_lines[static_cast<size_t>(n - 481)];
    out += line + "\r\n";
  }
  return out;
}

// Cubic F m -3 m and P m -3 m, hexagonal R -3 c, in spgr2.dat and the operator files;
// the cubic operator file also holds F d -3 m:1 (a symbol with a setting suffix).
inline void write_test_catalogue(const std::filesystem::path& folder) {
  write_bytes(folder / "spgr2.dat",
              catalogue_text({catalogue_line("F m -3 m", "-F 4 2 3", "225"),
                              catalogue_line("P m -3 m", "-P 4 2 3", "221")},
                             {catalogue_line("R -3 c", "-R 3 2\"c", "167")}));
  write_bytes(folder / "c.pos", pos_block("F m -3 m", gemmi_group("F m -3 m")) +
                                    pos_block("P m -3 m", gemmi_group("P m -3 m")) +
                                    pos_block("F d -3 m:1", gemmi_group("F d -3 m:1")));
  write_bytes(folder / "h.pos", pos_block("R -3 c", gemmi_group("R -3 c:H")));
}

}  // namespace vornax::testing
