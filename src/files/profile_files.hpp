// Reading and writing measured profiles of every kind (described in
// core/profile_formats.hpp): the reader and writer table, the kind a load takes, one
// entry point that reads any kind, and the pieces every profile reader shares (angles
// from start and step, intensity scaling, the Kα pair to one wavelength).
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/profile_formats.hpp"
#include "core/paths.hpp"
#include "core/session.hpp"

namespace vornax {

// What a reader hands back: a complete, fresh profile (points with 2θ as read,
// intensities scaled 0..100, extremes, range, title, wavelengths) that the load
// command commits only once everything about it is accepted.
struct ProfileFileData {
  Profile profile;
  bool has_wavelength = false;  // the file carried λ (or λ1) itself
  bool ratio_read = false;      // the file gave the Kα2/Kα1 ratio, 0 included
};

// The reader, the content test and the writer of each kind, keyed by the kinds of
// core/profile_formats.hpp.
using ProfileReader = ProfileFileData (*)(std::string_view bytes, const std::string& name,
                                          int range_index);
// How surely the bytes are of a kind: a text kind that cannot tell says Plausible.
enum class ContentMatch { No = 0, Plausible = 1, Likely = 2, Signature = 3 };
using ProfileContentTest = ContentMatch (*)(std::string_view bytes);
// Writes `p` (its working 2θ) with `title` in the header; `range_min` the entered 2θmin.
using ProfileWriter = void (*)(const std::filesystem::path& path, const Profile& p,
                               const std::string& title, double range_min);

struct ProfileCodec {
  ProfileFileType type;
  ProfileReader read;
  ProfileContentTest content = nullptr;  // none: Plausible
  ProfileWriter write = nullptr;
};

const ProfileCodec& profile_codec(ProfileFileType type);

// The kind a load takes: the user's explicit choice whatever the name; otherwise the
// kind the extension names, and when several kinds share the extension (.dat: Rietveld
// or plain columns) the one whose content test answers most surely, ties going to the
// first in table order. `by_content` when that is not the extension's first guess.
struct ProfileKindChoice {
  ProfileFileType type = ProfileFileType::Column;
  bool by_content = false;
};
ProfileKindChoice settle_profile_type(std::string_view bytes, const std::filesystem::path& name,
                                      std::optional<ProfileFileType> chosen,
                                      ProfileFileType fallback = ProfileFileType::Column);

// Through the kind's writer; throws FileError, FormatError, or FormatError for a kind
// the program does not write.
void write_profile_file(const std::filesystem::path& path, ProfileFileType type,
                        const Profile& p, const std::string& title, double range_min);

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

// The largest 2θ a profile may hold, and the largest angle (start, step) a reader
// accepts at all.
constexpr double kMaxProfileTwoTheta = 180.0;
constexpr double kMaxAngleValue = 1e4;

// Every reader's profile passes here on its way out of read_profile: 2θ within 0..180
// and rising from point to point (no zero step, no reversed range), intensities and
// their extremes finite within single precision. FormatError "<name>: <field> ...".
void check_profile_values(const Profile& p, const std::string& name);

// A start beyond ±10000 or not finite; with two points or more, a step that is 0,
// negative, beyond 10000 or not finite: FormatError naming the field.
void check_step(long double start, long double step, size_t count, const std::string& name);

// The number as messages show it (%g).
std::string shown_number(double v);

// Points at start + i·step (i from 0), computed in extended precision rather than
// accumulated, so that no rounding drifts along a long scan; 2θ = 2θ as read. The
// start and step pass check_step first.
// Then the intensities are scaled with the raw extremes (see scale_intensities).
void set_stepped_points(Profile& p, long double start, long double step,
                        const std::vector<double>& raw, const std::string& name);

// I := (I − Imin)·100 / (Imax − Imin) with the true extremes of `raw`, which are kept
// in the profile. A flat profile (Imax = Imin) stores 0 everywhere. Intensities that
// are not finite numbers mark a damaged file. `p.points` must already hold raw.size().
void scale_intensities(Profile& p, const std::vector<double>& raw, const std::string& name);

// A new angle range on a profile read on the 0..100 scale: keeps, in order, the points
// from `lo` on, stopping at the first one above `hi` (angle, intensity and 2θ as read
// move together), and multiplies the kept intensities by 100 / (the largest of them;
// the search starts from −10000), so that the highest kept point is 100 and the others
// keep their ratio to it. A range with no point above 0 keeps its values. The count
// extremes follow, so that count = I·(max − min)/100 + min still holds.
void keep_range_scaled_to_largest(Profile& p, double lo, double hi);

// λ from the Kα pair: (ratio·λ2 + λ1)/(ratio + 1), or λ1 when λ2 is 0. A ratio of −1
// (which would divide by zero) is taken as 0.5, and stored so.
double lambda_from_pair(double lambda1, double lambda2, double& ratio);

// Appends every blank- or tab-separated number of `line` to `out`; false at the first
// field that is not a number. Refuses (FormatError) more than kMaxProfilePoints in all.
bool append_numbers(std::string_view line, std::vector<double>& out, const std::string& name);

}  // namespace vornax
