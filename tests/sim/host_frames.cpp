#include "host_frames.h"

#include <zlib.h>

namespace kvx::sim {
namespace {

std::uint32_t Crc(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

void PutLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t GetLe(std::string_view in, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    value = value << 8 | static_cast<std::uint8_t>(in[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

}  // namespace

std::string HostFrame(std::uint8_t cmd, std::uint16_t seg, std::string_view body,
                      std::uint32_t raw_length, std::uint8_t code) {
  std::string frame = "\x96\x96\x82";
  frame += static_cast<char>(cmd);
  frame += static_cast<char>(code);
  PutLe(frame, seg, 2);
  PutLe(frame, body.size(), 4);
  PutLe(frame, raw_length, 4);
  PutLe(frame, Crc(std::string_view(frame).substr(2, 13)), 4);
  frame.append(body);
  frame += '\x83';
  return frame;
}

std::string SetupFrame(std::uint8_t mode, std::uint64_t size, std::uint32_t segment_size) {
  std::string body(1, static_cast<char>(mode));
  PutLe(body, segment_size, 4);
  PutLe(body, size, 8);
  PutLe(body, Crc(body), 4);
  return HostFrame('S', 0, body, 17);
}

std::string WriteFrame(std::uint16_t seg, std::string_view data) {
  std::string compressed(compressBound(data.size()), '\0');
  uLongf length = compressed.size();
  compress(reinterpret_cast<Bytef*>(compressed.data()), &length,
           reinterpret_cast<const Bytef*>(data.data()), data.size());
  compressed.resize(length);
  return HostFrame('W', seg, compressed, static_cast<std::uint32_t>(data.size()));
}

std::string FinishBody(std::string_view first, std::string_view second) {
  std::string body;
  for (const std::string_view text : {first, second}) {
    std::string field(text.substr(0, 16));
    field.resize(16, '\0');
    body += field;
    PutLe(body, 2024, 2);  // 15 March 2024, 14:25:30
    body += static_cast<char>(3);
    body += static_cast<char>(15);
    body += static_cast<char>(14);
    body += static_cast<char>(25);
    body += static_cast<char>(30);
  }
  PutLe(body, Crc(body), 4);
  return body;
}

std::string FinishFrame(std::string_view first, std::string_view second) {
  return HostFrame('F', 0, FinishBody(first, second), 50);
}

void RefixCrc(std::string& bytes, std::size_t at, std::size_t from, std::size_t length) {
  std::string crc;
  PutLe(crc, Crc(std::string_view(bytes).substr(from, length)), 4);
  bytes.replace(at, 4, crc);
}

std::string SampleData(std::size_t size, unsigned seed) {
  std::string data(size, '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    data[i] = static_cast<char>((state >> 16) % 16 + 'a');  // 16 letters: compresses to ~1/2
  }
  return data;
}

std::vector<TerminalFrame> ParseTerminalFrames(std::string_view wire) {
  std::vector<TerminalFrame> frames;
  for (std::size_t at = wire.find("\x96\x96\x82"); at != std::string_view::npos;
       at = wire.find("\x96\x96\x82", at)) {
    if (wire.size() - at < 20) break;
    const std::string_view frame = wire.substr(at);
    TerminalFrame parsed;
    parsed.cmd = static_cast<std::uint8_t>(frame[3]);
    parsed.code = static_cast<std::uint8_t>(frame[4]);
    parsed.seg = static_cast<std::uint16_t>(GetLe(frame, 5, 2));
    const auto body = static_cast<std::size_t>(GetLe(frame, 7, 4));
    parsed.head_crc_ok = Crc(frame.substr(2, 13)) == GetLe(frame, 15, 4);
    if (frame.size() < 20 + body) break;
    parsed.body = std::string(frame.substr(19, body));
    frames.push_back(parsed);
    at += 20 + body;
  }
  return frames;
}

}  // namespace kvx::sim
