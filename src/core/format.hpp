// Number formatting and parsing used by every window, report and file writer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vornax {

// A real right-aligned in `width` characters with `decimals` decimals, fixed point,
// point as separator ("w:d"). A number longer than the field takes the room it needs.
std::string format_fixed(double value, int width, int decimals);

// An integer right-aligned in `width` characters, widening like format_fixed.
std::string format_int(long long value, int width);

// The strict number parser behind every typed or read number.
// Accepted: optional blanks (space, tab) before and after; an optional sign; digits
// with at most one decimal separator (a point, or a comma for users whose keyboards
// give one), at least one digit in all ("5", "5.", ".5", "-0,25"); an optional
// exponent "e" or "E" with an optional sign and at least one digit ("1.5e-3").
// Refused: empty or blank text, anything else inside the number (blanks, a second
// separator, thousands separators, letters), "inf", "nan", hexadecimal forms, and
// values that overflow a double.
std::optional<double> parse_real(std::string_view text);

// Integer form of the same rules: optional blanks, optional sign, digits only.
std::optional<long long> parse_integer(std::string_view text);

// The repair applied to a typed number before it is converted, rules in this order:
// empty text becomes "0" (and nothing else is done); the first blank right before a
// point becomes "0" when no digit stands before it (" .5", not "1 .5"); the first
// blank right after a point becomes "0"; "0" is inserted after the first "-."; a text
// ending in a point gets a "0" appended.
std::string repair_number_text(std::string text);

// A number as the user typed it: repair_number_text, then parse_real.
std::optional<double> parse_typed(std::string_view text);

// A number read back from a box that the program fills itself. A box the user has not
// `edited` since the program last wrote it, and that shows exactly what the program
// writes for `shown` (with `decimals` decimals, any width), keeps `shown`, so that
// rounding for display never changes a stored value (a wavelength of 1.540593 shown as
// 1.54059 stays 1.540593). A box the user edited means what it says, even when the
// typed text is the one shown ("1.54059" typed is 1.54059). Otherwise the text is
// repaired and parsed.
std::optional<double> read_shown_number(std::string_view text, double shown, int decimals,
                                        bool edited = false);

// The decimals that show the first two significant digits of a standard error, never
// fewer than `at_least` (at most 15). A zero or non-finite error takes `at_least`.
int decimals_for_error(double sigma, int at_least);

// A value with its standard error in crystallographers' notation: the error's first two
// significant digits in parentheses, the value rounded to the same decimal
// ("5.431194(12)"); a zero error gives the value alone, to six decimals.
std::string with_uncertainty(double value, double sigma);

// Blanks removed at both ends.
std::string trim(std::string_view text);
std::string to_upper(std::string_view text);

}  // namespace vornax
