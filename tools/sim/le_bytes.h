// Little-endian fields of the download frames, read from and written to byte strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvx::sim {

// Reads sizeof(T) bytes at `at`; the caller has checked the bounds.
template <typename T>
T GetLe(std::string_view bytes, std::size_t at) {
  T value = 0;
  for (std::size_t i = sizeof(T); i-- > 0;) {
    value = static_cast<T>((value << 8) | static_cast<std::uint8_t>(bytes[at + i]));
  }
  return value;
}

template <typename T>
void AppendLe(std::string& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out += static_cast<char>(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

}  // namespace kvx::sim
