#include "platform/codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>

#include "platform/codepage_internal.h"

namespace kvx {
namespace {

using codepage_internal::kReplacementCharacter;
using codepage_internal::NextUtf8;
using codepage_internal::ReplaceUtf8;

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

namespace codepage_internal {

std::optional<std::string> SystemToUtf8(std::string_view text, std::string_view codeset) {
  Converter converter("UTF-8", std::string(codeset));
  if (!converter.ok()) return std::nullopt;
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

std::optional<std::string> SystemFromUtf8(std::string_view text, std::string_view codeset) {
  Converter converter(std::string(codeset), "UTF-8");
  if (!converter.ok()) return std::nullopt;
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

}  // namespace codepage_internal
}  // namespace kvx
