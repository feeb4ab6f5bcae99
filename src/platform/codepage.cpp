#include "platform/codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cctype>
#include <cerrno>
#include <cstdint>

namespace kvx {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

enum class Charset { kUtf8, kAscii, kOther };

// "utf8", "UTF-8" and "ANSI_X3.4-1968" name sets with a fast path; compare letters and digits only.
Charset Classify(std::string_view codeset) {
  std::string key;
  for (char c : codeset) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  if (key == "UTF8") return Charset::kUtf8;
  if (key == "ANSIX341968" || key == "ANSIX341986" || key == "ASCII" || key == "USASCII" ||
      key == "646" || key.empty()) {
    return Charset::kAscii;
  }
  return Charset::kOther;
}

// Length of the UTF-8 sequence at `pos`, and whether it is well formed; an ill-formed one is
// its maximal subpart (at least one byte), so one replacement stands for it.
struct Utf8Step {
  std::size_t length;
  bool valid;
};

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

// Valid UTF-8 stays; each ill-formed part becomes `replacement`. With `ascii_only`, every
// character beyond ASCII becomes `replacement` as well.
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

// One iconv descriptor, closed when it goes out of scope.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of `input` as it can, appending to `out`; returns the bytes consumed. It
  // stops at the first byte it cannot convert (or an incomplete sequence at the end).
  std::size_t Run(std::string_view input, std::string& out) {
    char* in = const_cast<char*>(input.data());  // iconv does not write through it
    std::size_t in_left = input.size();
    Pump(&in, &in_left, out);
    return input.size() - in_left;
  }

  // Ends a stateful output in its initial shift state.
  void Flush(std::string& out) { Pump(nullptr, nullptr, out); }

 private:
  // Starts with little room and doubles it, so a text full of bad bytes (one call per byte)
  // stays linear.
  void Pump(char** in, std::size_t* in_left, std::string& out) {
    constexpr std::size_t kInitialRoom = 64;
    std::size_t used = out.size();
    out.resize(used + kInitialRoom);
    while (true) {
      char* out_ptr = out.data() + used;
      std::size_t out_left = out.size() - used;
      const std::size_t result = iconv(cd_, in, in_left, &out_ptr, &out_left);
      used = static_cast<std::size_t>(out_ptr - out.data());
      if (result == static_cast<std::size_t>(-1) && errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      break;
    }
    out.resize(used);
  }

  iconv_t cd_;
};

}  // namespace

std::string LocaleCodeset() {
  return nl_langinfo(CODESET);
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

std::string CodesetToUtf8(std::string_view text, std::string_view codeset) {
  switch (Classify(codeset)) {
    case Charset::kUtf8:
      return SanitizeUtf8(text);
    case Charset::kAscii:
      return AsciiToUtf8(text);
    case Charset::kOther:
      break;
  }
  Converter converter("UTF-8", std::string(codeset));
  if (!converter.ok()) return AsciiToUtf8(text);
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    pos += converter.Run(text.substr(pos), out);
    if (pos < text.size()) {
      out.append(kReplacementCharacter);
      ++pos;
    }
  }
  converter.Flush(out);
  return out;
}

std::string Utf8ToCodeset(std::string_view text, std::string_view codeset) {
  switch (Classify(codeset)) {
    case Charset::kUtf8:
      return SanitizeUtf8(text);
    case Charset::kAscii:
      return ReplaceUtf8(text, "?", true);
    case Charset::kOther:
      break;
  }
  Converter converter(std::string(codeset), "UTF-8");
  if (!converter.ok()) return ReplaceUtf8(text, "?", true);
  // Ill-formed input becomes '?' first, so iconv stops only at characters the set lacks.
  const std::string input = ReplaceUtf8(text, "?", false);
  std::string out;
  for (std::size_t pos = 0; pos < input.size();) {
    pos += converter.Run(std::string_view(input).substr(pos), out);
    if (pos < input.size()) {
      converter.Run("?", out);
      pos += NextUtf8(input, pos).length;
    }
  }
  converter.Flush(out);
  return out;
}

}  // namespace kvx
