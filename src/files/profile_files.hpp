// The measured-profile file kinds: their dialog filters, the kind a file name names,
// one entry point that reads any of them, and the pieces every profile reader shares
// (angles from start and step, intensity scaling, the Kα pair to one wavelength).
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/session.hpp"

namespace vornax {

// Values are the open dialog's filter index.
// A ".raw" file of the newer "RAW4.00" kind is read as such whichever of the two RAW
// kinds was chosen: the signature decides.
enum class ProfileFileType {
  BrukerRaw = 1, RietveldDat = 2, Cpi = 3, PhilipsRd = 4, Column = 5,
  BrukerRaw4 = 6, Brml = 7, Xrdml = 8, Gsas = 9
};

// In filter-index order.
inline constexpr std::array<std::string_view, 9> kProfileFileFilters = {
    "Brucker Format (*.raw)", "Rietveld Format (*.dat)", "CPI Format (*.cpi)",
    "Philips Format (*.rd)", "Column Format (*.xy *.xye *.prn *.txt)",
    "Bruker RAW4 Format (*.raw)", "Bruker BRML Format (*.brml)",
    "XRDML Format (*.xrdml)", "GSAS Format (*.gsa *.gsas *.gss *.fxye *.esd *.std)"};

// The kinds that hold several ranges, of which the reader takes one.
bool profile_type_has_ranges(ProfileFileType type);

// What a reader hands back: a complete, fresh profile (points with 2θ as read,
// intensities scaled 0..100, extremes, range, title, wavelengths) that the load
// command commits only once everything about it is accepted.
struct ProfileFileData {
  Profile profile;
  bool has_wavelength = false;  // the file carried λ (or λ1) itself
};

// The kind named by the file name's own extension (case-insensitive); a name without
// a known extension keeps the kind chosen in the dialog.
ProfileFileType profile_type_from_name(const std::filesystem::path& name,
                                       ProfileFileType chosen);

// Throws FormatError for a damaged file. `range_index` picks the range of a file
// with several (RAW4, BRML; 0 = the first); the other kinds ignore it.
ProfileFileData read_profile(std::string_view bytes, const std::string& name,
                             ProfileFileType type, int range_index = 0);
// read_file_bytes + read_profile; throws FileError or FormatError.
ProfileFileData read_profile_file(const std::filesystem::path& path, ProfileFileType type,
                                  int range_index = 0);

// ---- shared by the readers ----

// Refuses a point count above kMaxProfilePoints, or none at all.
void check_point_count(size_t count, const std::string& name);

// A start, step or wavelength that is not a finite number marks a damaged file.
void check_finite(double value, std::string_view what, const std::string& name);

// Points at start + i·step (i from 0), computed in extended precision rather than
// accumulated, so that no rounding drifts along a long scan; 2θ = 2θ as read.
// Then the intensities are scaled with the raw extremes (see scale_intensities).
void set_stepped_points(Profile& p, long double start, long double step,
                        const std::vector<double>& raw, const std::string& name);

// I := (I − Imin)·100 / (Imax − Imin) with the true extremes of `raw`, which are kept
// in the profile. A flat profile (Imax = Imin) stores 0 everywhere. Intensities that
// are not finite numbers mark a damaged file. `p.points` must already hold raw.size().
void scale_intensities(Profile& p, const std::vector<double>& raw, const std::string& name);

// λ from the Kα pair: (ratio·λ2 + λ1)/(ratio + 1), or λ1 when λ2 is 0. A ratio of −1
// (which would divide by zero) is taken as 0.5, and stored so.
double lambda_from_pair(double lambda1, double lambda2, double& ratio);

// Appends every blank- or tab-separated number of `line` to `out`; false at the first
// field that is not a number. Refuses (FormatError) more than kMaxProfilePoints in all.
bool append_numbers(std::string_view line, std::vector<double>& out, const std::string& name);

// Upper-case extension with its dot (".RAW"), or empty.
std::string upper_extension(const std::filesystem::path& name);

}  // namespace vornax
