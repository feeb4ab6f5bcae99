#include "sim/terminal_frames.h"

#include <zlib.h>

#include "sim/le_bytes.h"

namespace kvx::sim {
namespace {

std::uint32_t Crc32Of(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// `text` in a field of `size` bytes, cut or zero-filled.
void AppendField(std::string& out, std::string_view text, std::size_t size) {
  const std::string_view kept = text.substr(0, size);
  out.append(kept);
  out.append(size - kept.size(), '\0');
}

}  // namespace

std::string BuildTerminalFrame(std::uint8_t cmd, std::uint8_t code, std::uint16_t seg,
                               std::string_view body) {
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string frame;
  frame.reserve(kFrameOverhead + body.size());
  frame += static_cast<char>(SYN);
  frame += static_cast<char>(SYN);
  frame += static_cast<char>(STX);
  frame += static_cast<char>(cmd);
  frame += static_cast<char>(code);
  AppendLe(frame, seg);
  AppendLe(frame, length);
  AppendLe(frame, length);
  AppendLe(frame, Crc32Of(std::string_view(frame).substr(kHeadCrcStart, kHeadCrcLength)));
  frame.append(body);
  frame += static_cast<char>(ETX);
  return frame;
}

std::array<std::uint8_t, kPackedDateSize> PackDateTime(const DateTime& d) {
  const auto field = [](int value, int bits) {
    return static_cast<std::uint64_t>(value) & ((std::uint64_t{1} << bits) - 1);
  };
  const std::uint64_t packed = field(d.year, 14) | field(d.month, 4) << 14 | field(d.day, 5) << 18 |
                               field(d.hour, 5) << 23 | field(d.minute, 6) << 28 |
                               field(d.second, 6) << 34;
  std::array<std::uint8_t, kPackedDateSize> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(packed >> (8 * i));
  }
  return bytes;
}

std::string BuildSetupAnswerBody(std::uint8_t mode, const DownloadConfig& config) {
  std::string body;
  body.reserve(kSetupResponseBodySize);
  body += static_cast<char>(mode);
  AppendField(body, config.bsp_version, kBspVersionSize);
  for (const std::uint8_t b : PackDateTime(config.bsp_date)) body += static_cast<char>(b);
  AppendField(body, config.tet_version, kTetVersionSize);
  for (const std::uint8_t b : PackDateTime(config.tet_date)) body += static_cast<char>(b);
  AppendField(body, "KVX-SIM", 16);  // the field nobody reads
  AppendLe(body, Crc32Of(body));
  return body;
}

std::string NoiseBytes(std::size_t count) {
  std::string noise;
  noise.reserve(count);
  std::uint32_t state = 0x2545F491;
  for (std::size_t i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    auto byte = static_cast<std::uint8_t>(state >> 24);
    if (byte == SYN) byte = 0x55;
    noise += static_cast<char>(byte);
  }
  return noise;
}

}  // namespace kvx::sim
