// Conversion between the locale's character set and the UTF-8 text used inside the program.
//
// The 8-bit texts of images, of the terminal's replies and of Config.ini are in the locale's
// character set (nl_langinfo(CODESET)). No conversion here ever fails:
//   - to UTF-8, each byte that does not convert becomes U+FFFD;
//   - from UTF-8, each character the set cannot represent becomes '?'.
//
// The library never calls setlocale: it uses the locale the program chose, and programs call
// setlocale(LC_ALL, "") first thing in main. Without that the C locale (ASCII) is in force.
// Safe to call from any thread while no thread changes the locale.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

// The locale's character set, as nl_langinfo(CODESET) names it ("UTF-8", "ANSI_X3.4-1968").
std::string LocaleCodeset();

// Locale text to UTF-8, and back.
std::string LocaleToUtf8(std::string_view text);
std::string Utf8ToLocale(std::string_view text);

// The same for a named character set (an iconv name). An unknown set is taken as ASCII.
std::string CodesetToUtf8(std::string_view text, std::string_view codeset);
std::string Utf8ToCodeset(std::string_view text, std::string_view codeset);

// `text` as valid UTF-8: each maximal ill-formed subsequence (overlong forms, surrogates, code
// points beyond U+10FFFF, stray or missing continuation bytes) becomes one U+FFFD.
std::string SanitizeUtf8(std::string_view text);

}  // namespace kvx
