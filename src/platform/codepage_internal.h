// What the conversions of both systems share: the walk over UTF-8 text, and the character sets
// that need no conversion library.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kvx::codepage_internal {

inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

enum class Charset { kUtf8, kAscii, kOther };

// The letters and digits of a set's name, in upper case: "utf-8" and "UTF8" both give "UTF8".
std::string CodesetKey(std::string_view codeset);

// "utf8", "UTF-8" and "ANSI_X3.4-1968" name sets with a fast path; compare letters and digits only.
Charset Classify(std::string_view codeset);

// The conversions of each system's own library (iconv, or the Windows code pages), for a set
// that is neither UTF-8 nor ASCII. Nothing when the system does not know the set.
std::optional<std::string> SystemToUtf8(std::string_view text, std::string_view codeset);
std::optional<std::string> SystemFromUtf8(std::string_view text, std::string_view codeset);

// Length of the UTF-8 sequence at `pos`, and whether it is well formed; an ill-formed one is
// its maximal subpart (at least one byte), so one replacement stands for it.
struct Utf8Step {
  std::size_t length;
  bool valid;
};
Utf8Step NextUtf8(std::string_view text, std::size_t pos);

// Valid UTF-8 stays; each ill-formed part becomes `replacement`. With `ascii_only`, every
// character beyond ASCII becomes `replacement` as well.
std::string ReplaceUtf8(std::string_view text, std::string_view replacement, bool ascii_only);

// Each byte beyond ASCII becomes U+FFFD.
std::string AsciiToUtf8(std::string_view text);

}  // namespace kvx::codepage_internal
