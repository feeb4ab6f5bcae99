// The ANSI code page and the others Windows knows, converted through UTF-16 with
// MultiByteToWideChar and WideCharToMultiByte. Sets are named as LocaleCodeset names them
// ("CP1252"), as "windows-1252", or by the few iconv names that Windows has a code page for.
#include "platform/codepage.h"

#include <windows.h>

#include <charconv>
#include <string>

#include "platform/codepage_internal.h"
#include "platform/wide_text.h"

namespace kvx {
namespace {

using codepage_internal::kReplacementCharacter;
using codepage_internal::NextUtf8;
using codepage_internal::ReplaceUtf8;

UINT Number(std::string_view digits) {
  UINT value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return error == std::errc() && end == digits.data() + digits.size() ? value : 0;
}

// The code page of a set Classify calls kOther; 0 for a set Windows does not have.
UINT CodePageOf(std::string_view codeset) {
  const std::string key = codepage_internal::CodesetKey(codeset);
  UINT page = 0;
  if (key.starts_with("CP")) {
    page = Number(std::string_view(key).substr(2));
  } else if (key.starts_with("WINDOWS")) {
    page = Number(std::string_view(key).substr(7));
  } else if (key.starts_with("ISO8859")) {
    const UINT part = Number(std::string_view(key).substr(7));
    if (part >= 1 && part <= 15) page = 28590 + part;
  } else if (key == "EUCKR") {
    page = 51949;
  } else if (key == "EUCJP") {
    page = 20932;
  } else if (key == "GBK") {
    page = 936;
  } else if (key == "BIG5") {
    page = 950;
  } else if (key == "SHIFTJIS" || key == "SJIS") {
    page = 932;
  }
  // The pages that refuse MB_ERR_INVALID_CHARS and WC_NO_BEST_FIT_CHARS (UTF-7, ISO-2022,
  // ISCII, symbol) would turn every text into replacements: they count as unknown.
  const bool refuses_flags = page == 42 || page == CP_UTF7 || (page >= 50220 && page <= 50229) ||
                             (page >= 57002 && page <= 57011);
  return page != 0 && !refuses_flags && IsValidCodePage(page) ? page : 0;
}

// The UTF-16 form of `bytes`, or empty when they are not exactly characters of `page`.
std::wstring Decode(UINT page, const char* bytes, int length) {
  const int size = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, length, out.data(), size);
  return out;
}

// The bytes of `page` for `text`, and whether every character had a form there (no best fit).
struct Encoded {
  std::string bytes;
  bool complete = false;
};

Encoded Encode(UINT page, const wchar_t* text, int length) {
  BOOL used_default = FALSE;
  const int size =
      WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0, "?", &used_default);
  if (size <= 0) return {};
  Encoded out{std::string(static_cast<std::size_t>(size), '\0'), false};
  used_default = FALSE;
  WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, text, length, out.bytes.data(), size, "?",
                      &used_default);
  out.complete = !used_default;
  return out;
}

std::string CodePageToUtf8(std::string_view text, UINT page) {
  if (text.empty()) return {};
  const std::wstring whole = Decode(page, text.data(), static_cast<int>(text.size()));
  if (!whole.empty()) return Utf8FromWide(whole);
  // Something does not convert: one character at a time, the shortest run of bytes that is one
  // character of the page, else one byte that becomes U+FFFD.
  CPINFO info{};
  const std::size_t longest = GetCPInfo(page, &info) && info.MaxCharSize > 1 ? info.MaxCharSize : 1;
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t taken = 0;
    for (std::size_t n = 1; n <= longest && pos + n <= text.size(); ++n) {
      const std::wstring wide = Decode(page, text.data() + pos, static_cast<int>(n));
      if (!wide.empty()) {
        out += Utf8FromWide(wide);
        taken = n;
        break;
      }
    }
    if (taken == 0) {
      out.append(kReplacementCharacter);
      taken = 1;
    }
    pos += taken;
  }
  return out;
}

std::string Utf8ToCodePage(std::string_view text, UINT page) {
  // Ill-formed input becomes '?' first, so only characters the page lacks are left to replace.
  const std::string input = ReplaceUtf8(text, "?", false);
  if (input.empty()) return {};
  const std::wstring wide = WideFromUtf8(input);
  Encoded whole = Encode(page, wide.data(), static_cast<int>(wide.size()));
  if (whole.complete) return std::move(whole.bytes);
  // One character at a time, so a character outside the page is one '?' (surrogate pair or not).
  std::string out;
  for (std::size_t pos = 0; pos < input.size();) {
    const std::size_t length = NextUtf8(input, pos).length;
    const std::wstring character = WideFromUtf8(std::string_view(input).substr(pos, length));
    const Encoded encoded = Encode(page, character.data(), static_cast<int>(character.size()));
    out += encoded.complete ? encoded.bytes : std::string("?");
    pos += length;
  }
  return out;
}

}  // namespace

std::string LocaleCodeset() {
  const UINT page = GetACP();
  return page == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(page);
}

namespace codepage_internal {

std::optional<std::string> SystemToUtf8(std::string_view text, std::string_view codeset) {
  const UINT page = CodePageOf(codeset);
  if (page == 0) return std::nullopt;
  return page == CP_UTF8 ? SanitizeUtf8(text) : CodePageToUtf8(text, page);
}

std::optional<std::string> SystemFromUtf8(std::string_view text, std::string_view codeset) {
  const UINT page = CodePageOf(codeset);
  if (page == 0) return std::nullopt;
  return page == CP_UTF8 ? SanitizeUtf8(text) : Utf8ToCodePage(text, page);
}

}  // namespace codepage_internal
}  // namespace kvx
