#include "platform/codepage.h"

#include <cctype>
#include <cstdint>

#include "platform/codepage_internal.h"

namespace kvx {
namespace codepage_internal {

std::string CodesetKey(std::string_view codeset) {
  std::string key;
  for (char c : codeset) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return key;
}

Charset Classify(std::string_view codeset) {
  const std::string key = CodesetKey(codeset);
  if (key == "UTF8") return Charset::kUtf8;
  if (key == "ANSIX341968" || key == "ANSIX341986" || key == "ASCII" || key == "USASCII" ||
      key == "646" || key.empty()) {
    return Charset::kAscii;
  }
  return Charset::kOther;
}

Utf8Step NextUtf8(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<std::uint8_t>(text[pos]);
  if (lead < 0x80) return {1, true};
  std::size_t trail = 0;
  std::uint8_t lower = 0x80;
  std::uint8_t upper = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    if (lead == 0xE0) lower = 0xA0;  // overlong
    if (lead == 0xED) upper = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    if (lead == 0xF0) lower = 0x90;  // overlong
    if (lead == 0xF4) upper = 0x8F;  // beyond U+10FFFF
  } else {
    return {1, false};
  }
  std::size_t next = pos + 1;
  for (std::size_t i = 0; i < trail; ++i, ++next) {
    if (next >= text.size()) return {next - pos, false};
    const auto byte = static_cast<std::uint8_t>(text[next]);
    if (byte < lower || byte > upper) return {next - pos, false};
    lower = 0x80;
    upper = 0xBF;
  }
  return {trail + 1, true};
}

std::string ReplaceUtf8(std::string_view text, std::string_view replacement, bool ascii_only) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const Utf8Step step = NextUtf8(text, pos);
    if (step.valid && (!ascii_only || step.length == 1)) {
      out.append(text.substr(pos, step.length));
    } else {
      out.append(replacement);
    }
    pos += step.length;
  }
  return out;
}

std::string AsciiToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
    } else {
      out.append(kReplacementCharacter);
    }
  }
  return out;
}

}  // namespace codepage_internal

using codepage_internal::AsciiToUtf8;
using codepage_internal::Charset;
using codepage_internal::Classify;
using codepage_internal::kReplacementCharacter;
using codepage_internal::ReplaceUtf8;

// A set the system does not know is read as ASCII: bytes beyond it become U+FFFD.
std::string CodesetToUtf8(std::string_view text, std::string_view codeset) {
  switch (Classify(codeset)) {
    case Charset::kUtf8:
      return SanitizeUtf8(text);
    case Charset::kAscii:
      return AsciiToUtf8(text);
    case Charset::kOther:
      break;
  }
  if (auto converted = codepage_internal::SystemToUtf8(text, codeset)) return *converted;
  return AsciiToUtf8(text);
}

// A set the system does not know is written as ASCII: characters beyond it become '?'.
std::string Utf8ToCodeset(std::string_view text, std::string_view codeset) {
  switch (Classify(codeset)) {
    case Charset::kUtf8:
      return SanitizeUtf8(text);
    case Charset::kAscii:
      return ReplaceUtf8(text, "?", true);
    case Charset::kOther:
      break;
  }
  if (auto converted = codepage_internal::SystemFromUtf8(text, codeset)) return *converted;
  return ReplaceUtf8(text, "?", true);
}

std::string LocaleToUtf8(std::string_view text) {
  return CodesetToUtf8(text, LocaleCodeset());
}

std::string Utf8ToLocale(std::string_view text) {
  return Utf8ToCodeset(text, LocaleCodeset());
}

std::string SanitizeUtf8(std::string_view text) {
  return ReplaceUtf8(text, kReplacementCharacter, false);
}

}  // namespace kvx
