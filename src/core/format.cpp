#include "core/format.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vornax {

namespace {

// The digits right-aligned in `width` characters (a longer text is kept whole).
std::string right_aligned(const char* first, const char* last, int width) {
  const size_t n = static_cast<size_t>(last - first);
  const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
  std::string out;
  if (w > n) {
    out.reserve(w);
    out.append(w - n, ' ');
  }
  out.append(first, n);
  return out;
}

std::string printf_fixed(double value, int width, int decimals) {
  char buf[512];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, value);
  if (n < 0) return std::string();
  if (n < static_cast<int>(sizeof buf)) return std::string(buf, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), "%*.*f", width, decimals, value);
  big.resize(static_cast<size_t>(n));
  return big;
}

}  // namespace

// std::to_chars gives the digits of printf's "%.*f" (both round the exact binary value
// correctly) without parsing a format or touching the locale, which made formatting
// the larger part of a refinement's time. The forms to_chars does not cover (NaN and
// infinities, a left-aligned negative width, an omitted precision) keep printf.
std::string format_fixed(double value, int width, int decimals) {
  if (std::isfinite(value) && width >= 0 && decimals >= 0 && decimals <= 100) {
    char buf[512];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) return right_aligned(buf, r.ptr, width);
  }
  return printf_fixed(value, width, decimals);
}

std::string format_int(long long value, int width) {
  if (width >= 0) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return right_aligned(buf, r.ptr, width);
  }
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%*lld", width, value);
  return std::string(buf, static_cast<size_t>(n > 0 ? n : 0));
}

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (is_blank(text[b]) || text[b] == '\r' || text[b] == '\n')) ++b;
  while (e > b && (is_blank(text[e - 1]) || text[e - 1] == '\r' || text[e - 1] == '\n')) --e;
  return std::string(text.substr(b, e - b));
}

std::string to_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

namespace {

std::string_view trimmed(std::string_view t) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!t.empty() && blank(t.front())) t.remove_prefix(1);
  while (!t.empty() && blank(t.back())) t.remove_suffix(1);
  return t;
}

}  // namespace

std::optional<double> parse_real(std::string_view text) {
  const std::string_view t = trimmed(text);
  if (t.empty()) return std::nullopt;
  // The number rewritten with a point as separator and without a '+' sign, which is
  // what std::from_chars reads; short numbers stay on the stack.
  char small[64];
  std::string big;
  char* canon = small;
  if (t.size() + 1 > sizeof small) {
    big.resize(t.size() + 1);
    canon = big.data();
  }
  size_t n = 0;
  size_t i = 0;
  if (t[i] == '+' || t[i] == '-') {
    if (t[i] == '-') canon[n++] = '-';
    ++i;
  }
  int digits = 0, separators = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      canon[n++] = c;
      ++digits;
    } else if (c == '.' || c == ',') {
      if (++separators > 1) return std::nullopt;
      canon[n++] = '.';
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < t.size()) {
    if (t[i] != 'e' && t[i] != 'E') return std::nullopt;
    canon[n++] = 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      if (t[i] == '-') canon[n++] = '-';
      ++i;
    }
    int exp_digits = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
      canon[n++] = t[i];
      ++exp_digits;
    }
    if (exp_digits == 0 || i != t.size()) return std::nullopt;
  }
  double v = 0;
  const auto r = std::from_chars(canon, canon + n, v);
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow is refused; a value too small for a double becomes what strtod gives
    // (a subnormal or zero), as before.
    canon[n] = '\0';
    errno = 0;
    v = std::strtod(canon, nullptr);
    if (std::isinf(v)) return std::nullopt;
  } else if (r.ec != std::errc() || r.ptr != canon + n) {
    return std::nullopt;
  }
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<long long> parse_integer(std::string_view text) {
  std::string t = trim(text);
  if (t.empty()) return std::nullopt;
  size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  if (i == t.size()) return std::nullopt;
  for (size_t j = i; j < t.size(); ++j)
    if (!std::isdigit(static_cast<unsigned char>(t[j]))) return std::nullopt;
  errno = 0;
  long long v = std::strtoll(t.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return v;
}

std::optional<double> parse_typed(std::string_view text) {
  return parse_real(repair_number_text(std::string(text)));
}

std::optional<double> read_shown_number(std::string_view text, double shown, int decimals,
                                        bool edited) {
  if (!edited && std::isfinite(shown) && trim(text) == trim(format_fixed(shown, 0, decimals))) return shown;
  return parse_typed(text);
}

std::string repair_number_text(std::string text) {
  if (text.empty()) return "0";
  // " .5" is a number typed without its leading zero; "1 .5" is a typing error, not 10.5.
  if (auto p = text.find(" ."); p != std::string::npos &&
      (p == 0 || !std::isdigit(static_cast<unsigned char>(text[p - 1]))))
    text[p] = '0';
  if (auto p = text.find(". "); p != std::string::npos) text[p + 1] = '0';
  if (auto p = text.find("-."); p != std::string::npos)
    text.replace(p + 1, 0, 1, '0');
  if (text.back() == '.') text += '0';
  return text;
}

int decimals_for_error(double sigma, int at_least) {
  if (!(sigma > 0) || !std::isfinite(sigma)) return at_least;
  const int first = static_cast<int>(std::floor(std::log10(sigma)));  // 1.2e-5 -> -5
  // Rounding may carry into a new digit (9.96e-6 -> 1.0e-5): one decimal fewer then.
  int d = 1 - first;
  if (std::round(sigma * std::pow(10.0, d)) >= 100) --d;
  return std::clamp(d, at_least, 15);
}

std::string with_uncertainty(double value, double sigma) {
  if (!(sigma > 0) || !std::isfinite(sigma)) return trim(format_fixed(value, 0, 6));
  const int d = std::max(decimals_for_error(sigma, 0), 0);
  const long long digits = std::llround(sigma * std::pow(10.0, d));
  return trim(format_fixed(value, 0, d)) + "(" + std::to_string(digits) + ")";
}

}  // namespace vornax
