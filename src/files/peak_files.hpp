// Measured-peak files: the seven kinds the load command knows, the open dialog's
// filters, the record every peak reader fills, and one entry point per kind.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.hpp"
#include "core/session.hpp"

namespace vornax {

// Values as the load command stores them; also the open dialog's initial filter index.
enum class PeakFileType {
  BrukerDif = 1,
  Xfit = 2,
  Winfit = 3,
  PhilipsDi = 4,
  ColumnPrn = 5,
  ColumnAny = 6,
  IndexedList = 7,
};

struct PeakFileKind {
  PeakFileType type;
  std::string_view menu_caption;
  std::string_view dialog_filter;
};
inline constexpr std::array<PeakFileKind, 7> kPeakFileKinds{{
    {PeakFileType::BrukerDif, "&Bruker Format (*.dif)", "Bruker Format (*.dif)"},
    {PeakFileType::Xfit, "&XFIT Format (*.txt)", "XFIT Format (*.txt)"},
    {PeakFileType::Winfit, "&WINFIT Format (*.dat)", "WINFIT Format (*.dat)"},
    {PeakFileType::PhilipsDi, "&Philips Format (*.di)", "Philips format (*.di)"},
    {PeakFileType::ColumnPrn, "&Column format (*.prn)", "Column format (*.prn)"},
    {PeakFileType::ColumnAny, "Co&lumn format (*.*)", "Column format (*.*)"},
    {PeakFileType::IndexedList, "Load an &Old  2Theta Indexed list (*.lst)", "Indexed list (*.lst)"},
}};

// 1..7 -> the type; anything else nullopt.
std::optional<PeakFileType> peak_file_type_from_int(int value);

// The type the file name's extension stands for (case ignored; only the extension
// counts, never a folder name): .dif 1, .txt 2, .dat 3, .di 4, .prn 5, .cdt 6, .lst 7.
std::optional<PeakFileType> peak_type_from_extension(const std::filesystem::path& file);

// Text kinds carry no wavelength: the wavelength window asks for it before reading.
bool peak_type_has_wavelength(PeakFileType type);

// Intensity and range conventions shared by the readers.
constexpr double kNormalisedIntensity = 100.0;
constexpr double kDefaultPeakTolerance = 0.1;  // degrees 2θ, the start-up tolerance
constexpr double kTextRangeCap = 179.0;        // text kinds: a top of 180 or more becomes 179
constexpr int kMaxWinfitLines = 50;

// What one peak file holds. A reader fills a fresh record and returns it; nothing of
// the session is touched until the load command commits it.
struct PeakFileData {
  std::vector<MeasuredPeak> peaks;     // 2θ = 2θ as read, line code 1
  std::vector<IndexedEntry> indexed;   // indexed lists only
  std::string sample;
  std::string title;                   // Philips DI: "Date: d/m/y"
  bool has_title = false;
  WavelengthSet wavelengths;
  bool has_wavelength = false;         // the file kind carries wavelengths
  double range_min = 0, range_max = 0; // smallest - tolerance .. largest + tolerance
  double intensity_max = 0;            // largest raw intensity
  bool truncated = false;              // more entries than a limit allows; the first kept
  std::string limit_message;           // with truncated: the limit that cut the file
};

// Every reader: bytes of the whole file, the name used in messages, and the angular
// tolerance that pads the range. Throws FormatError for a file that is not of its kind
// or is damaged, and for a file without any peak.
PeakFileData read_dif_file(std::string_view bytes, const std::string& name,
                           double tolerance = kDefaultPeakTolerance);
PeakFileData read_xfit_file(std::string_view bytes, const std::string& name,
                            double tolerance = kDefaultPeakTolerance);
PeakFileData read_winfit_file(std::string_view bytes, const std::string& name,
                              double tolerance = kDefaultPeakTolerance);
PeakFileData read_philips_di(std::string_view bytes, const std::string& name,
                             double tolerance = kDefaultPeakTolerance);
PeakFileData read_column_peaks(std::string_view bytes, const std::string& name,
                               double tolerance = kDefaultPeakTolerance);
PeakFileData read_indexed_peaks(std::string_view bytes, const std::string& name,
                                double tolerance = kDefaultPeakTolerance);

// The reader of a type (5 and 6 share the column reader).
PeakFileData read_peak_file(PeakFileType type, std::string_view bytes, const std::string& name,
                            double tolerance = kDefaultPeakTolerance);
// Same, from disk (read_file_bytes: FileError for a missing or unreadable file).
PeakFileData read_peak_file(PeakFileType type, const std::filesystem::path& path,
                            double tolerance = kDefaultPeakTolerance);

// --- Shared steps of the readers ---

// Every reader's peaks pass here on their way out of read_peak_file: 2θ above 0 and
// at most 180, intensities finite. FormatError "<name>: <field> ...".
void check_peak_values(const PeakFileData& d, const std::string& name);

// Adds a peak unless the list is full (then marks the record truncated).
void add_read_peak(PeakFileData& d, double two_theta, double intensity);

// Scales intensities so the largest is 100; left as read when none is above 0.
// Keeps the largest raw value in intensity_max.
void normalise_intensities(PeakFileData& d);

// Range from the smallest and largest 2θ padded by the tolerance; `cap`: a top of
// cap + 1 or more becomes cap (0: no cap). Refuses a record without peaks.
void finish_peak_range(PeakFileData& d, const std::string& name, double tolerance, double cap);

// "Unknown file type!" and the other reader texts shown as they are.
inline constexpr const char* kUnknownFileType = "Unknown file type!";
inline constexpr const char* kNotWinfit = "It seems not a WINFIT file!";
inline constexpr const char* kDecodeError = "decode error";
// The limits that cut a file, said when it is loaded (the first entries are kept).
inline constexpr const char* kTooManyPeaksRead = "Too many peaks (>500)";
inline constexpr const char* kTooManyWinfitLines =
    "Too many lines in the WINFIT file (>50): the first 50 peaks were read";
inline constexpr const char* kTooManyIndexedLines =
    "Too many lines in the indexed list (>100): the first 100 were read";

}  // namespace vornax
