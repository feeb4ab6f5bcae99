// Paths to and from the program's UTF-8 text. A std::filesystem::path made from a plain string
// reads it in the system's narrow character set, which on Windows is the ANSI code page, not
// UTF-8; these go through char8_t, so a name in any script survives on both systems.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kvx {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace kvx
