// The measured-profile file kinds, described once: number, captions, dialog filter,
// extensions and what each holds. The windows' menus and dialogs, the command line's
// --type, the folder scan of a series and the help are all derived from this table;
// the reader and writer of each kind sit in files/ in a table keyed by the same kinds.
//
// Adding a kind: its reader in files/, one line here, one line in files/profile_files.cpp
// (kProfileCodecs), and its tests.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornax {

// Values are the open dialog's filter index and the command line's --type: they never
// change meaning.
enum class ProfileFileType {
  BrukerRaw = 1, RietveldDat = 2, Cpi = 3, PhilipsRd = 4, Column = 5,
  BrukerRaw4 = 6, Brml = 7, Xrdml = 8, Gsas = 9
};

// One extension (lower case, with its dot). `in_folder_scan` false: too common a name
// (.txt, .prn) for a file in a folder to be taken for a profile without being named.
struct ProfileExtension {
  std::string_view name;
  bool in_folder_scan = true;
};
inline constexpr size_t kMaxProfileExtensions = 6;

struct ProfileFormat {
  ProfileFileType type;
  std::string_view key;            // object names: action_open_profile_<key>
  std::string_view short_name;     // the command line's list of kinds
  std::string_view menu_caption;   // with its accelerator
  std::string_view dialog_filter;  // the open and save dialogs' filter text
  // The extensions that name the kind; an extension named by several kinds is settled
  // by the content, the first kind in table order being the first guess.
  std::array<ProfileExtension, kMaxProfileExtensions> extensions;
  bool several_ranges;    // the reader takes one of several ranges (--range-index)
  bool holds_wavelength;  // the kind has a place for λ; otherwise the wavelength window asks
  bool writable;          // the program can save a profile in this kind
  std::string_view contents;  // one line for the help
};

inline constexpr std::array<ProfileFormat, 9> kProfileFormats{{
    {ProfileFileType::BrukerRaw, "bruker", "RAW", "&Bruker Format (*.raw)",
     "Brucker Format (*.raw)", {{{".raw"}}}, true, true, true,
     "Bruker RAW, RAW1 and RAW2 (a RAW4 file given this kind is read as RAW4)"},
    {ProfileFileType::RietveldDat, "rietveld", "Rietveld DAT", "&Rietveld Format (*.dat)",
     "Rietveld Format (*.dat)", {{{".dat"}}}, false, true, false,
     "a header, then start, step and end angle, then the counts"},
    {ProfileFileType::Cpi, "cpi", "CPI", "&CPI Format (*.cpi)", "CPI Format (*.cpi)",
     {{{".cpi"}}}, false, true, true, "text: a header, then one intensity per line"},
    {ProfileFileType::PhilipsRd, "philips", "Philips RD", "&Philips Format (*.rd)",
     "Philips Format (*.rd)", {{{".rd"}}}, false, true, false, "binary Philips scan"},
    {ProfileFileType::Column, "column", "column", "C&olumn Format (*.xy *.xye *.prn *.txt)",
     "Column Format (*.xy *.xye *.prn *.txt)",
     {{{".xy"}, {".xye"}, {".prn", false}, {".txt", false}, {".dat"}}}, false, false, false,
     "2theta, intensity and an optional sigma per line; a .dat of plain columns too"},
    {ProfileFileType::BrukerRaw4, "raw4", "RAW4", "Bruker RAW&4 Format (*.raw)",
     "Bruker RAW4 Format (*.raw)", {{{".raw"}}}, true, true, false,
     "Bruker RAW4.00, one of its ranges"},
    {ProfileFileType::Brml, "brml", "BRML", "Bruker BR&ML Format (*.brml)",
     "Bruker BRML Format (*.brml)", {{{".brml"}}}, true, true, false,
     "Bruker XML in a ZIP container, one of its ranges"},
    {ProfileFileType::Xrdml, "xrdml", "XRDML", "&XRDML Format (*.xrdml)",
     "XRDML Format (*.xrdml)", {{{".xrdml"}}}, true, true, false, "PANalytical XML scan"},
    {ProfileFileType::Gsas, "gsas", "GSAS", "&GSAS Format (*.gsa *.gsas *.gss *.fxye *.esd *.std)",
     "GSAS Format (*.gsa *.gsas *.gss *.fxye *.esd *.std)",
     {{{".gsa"}, {".gsas"}, {".gss"}, {".fxye"}, {".esd"}, {".std"}}}, false, false, false,
     "GSAS powder data, constant-step banks"},
}};

inline constexpr int kProfileKindCount = static_cast<int>(kProfileFormats.size());

// The table is in kind order: entry i is kind i + 1.
consteval bool profile_table_in_kind_order() {
  for (size_t i = 0; i < kProfileFormats.size(); ++i)
    if (static_cast<size_t>(kProfileFormats[i].type) != i + 1) return false;
  return true;
}
static_assert(profile_table_in_kind_order(), "kProfileFormats must list the kinds 1, 2, 3 ...");

// The dialog filters, in filter-index order.
inline constexpr std::array<std::string_view, kProfileFormats.size()> kProfileFileFilters = [] {
  std::array<std::string_view, kProfileFormats.size()> out{};
  for (size_t i = 0; i < out.size(); ++i) out[i] = kProfileFormats[i].dialog_filter;
  return out;
}();

constexpr const ProfileFormat& profile_format(ProfileFileType type) {
  return kProfileFormats[static_cast<size_t>(type) - 1];
}

// 1..kProfileKindCount -> the kind; anything else nullopt.
std::optional<ProfileFileType> profile_type_from_number(long long number);

// The name a note or the help gives the kind: its filter without the patterns
// ("Column Format").
std::string profile_format_title(ProfileFileType type);

// The kinds whose extensions hold the file name's own extension (case ignored), in
// table order; empty for a name no kind knows.
std::vector<ProfileFileType> profile_types_named_by(const std::filesystem::path& name);

// The kind the name alone tells: `chosen` when it is among the kinds the extension
// names, else the first of them; `chosen` for a name no kind knows. The content may
// still settle a shared extension (files/profile_files.hpp).
ProfileFileType profile_type_from_name(const std::filesystem::path& name,
                                       ProfileFileType chosen);

// The kinds that hold several ranges, of which the reader takes one.
bool profile_type_has_ranges(ProfileFileType type);

// Whether a folder scan takes the file for a profile: its extension names a kind and
// is not one of the too-common ones.
bool profile_taken_by_folder_scan(const std::filesystem::path& name);

// "1 RAW, 2 Rietveld DAT, ..., 9 GSAS", for usage texts.
std::string profile_type_list();

// "--type is 1 to 9"
std::string profile_type_range_error();

}  // namespace vornax
