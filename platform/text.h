#pragma once
// Text is UTF-16 throughout the logic; UTF-8 appears only where we hand text
// to the toolkit, libcurl, PCRE2 or POSIX. Conversions never fail: anything
// that is not valid on the way in becomes U+FFFD.
#include <cstdint>
#include <string>
#include <string_view>

namespace larkspur {

using Text = std::u16string;
using TextView = std::u16string_view;

std::string toUtf8(TextView text);
Text fromUtf8(std::string_view utf8);

// Convenience for ASCII and UTF-8 literals in code and tests.
inline Text T(std::string_view utf8) { return fromUtf8(utf8); }

enum class Case { Exact, Any };

// Removes every occurrence of `what` from `text`, scanning from the start:
// where `what` occurs at the scan position it is dropped and the scan goes on
// after it, elsewhere one unit is copied. Text that comes together through a
// removal is not examined again. Case::Any compares unit by unit through the
// C library's lower-case mapping.
Text removeAll(TextView text, TextView what, Case mode = Case::Exact);
void removeAllInPlace(Text& text, TextView what, Case mode = Case::Exact);

bool contains(TextView text, TextView what);

// The first `units` code units; a surrogate pair split by the cut loses its
// lone first half so the result stays valid text.
Text leftUnits(TextView text, std::size_t units);

Text decimal(long long value);

// The program's locale: every category "en_US.UTF-8" (C.UTF-8 where that
// locale is not generated), then numbers back to "C". The any-case removals
// depend on the C library's lower-case mapping of this locale.
void setProgramLocale();

// POSIX shell single-quoting: the result is one word whatever the input holds.
std::string shellQuote(std::string_view raw);

}  // namespace larkspur
