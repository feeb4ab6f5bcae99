// Frames as a host sends them, built byte by byte for the tests, and the terminal's answers
// taken apart again. Written independently of the simulator's builder and reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::sim {

// SYN SYN STX cmd code seg Body R_Body crc body ETX, with R_Body given separately.
std::string HostFrame(std::uint8_t cmd, std::uint16_t seg, std::string_view body,
                      std::uint32_t raw_length, std::uint8_t code = 0xB0);

// A setup frame; the size and segment size as given, the body CRC right.
std::string SetupFrame(std::uint8_t mode, std::uint64_t size, std::uint32_t segment_size = 65536);

// A write frame holding `data` compressed with zlib's compress.
std::string WriteFrame(std::uint16_t seg, std::string_view data);

// A finish body: two 16-byte version texts with 7-byte dates, then the CRC of bytes 0..45.
std::string FinishBody(std::string_view first, std::string_view second);
std::string FinishFrame(std::string_view first = "JQ_SAT_V3.1.7",
                        std::string_view second = "OKR_TET_1.0.0");

// Replaces the 4 bytes at `at` with the little-endian CRC-32 of [from, from + length).
void RefixCrc(std::string& bytes, std::size_t at, std::size_t from, std::size_t length);

// `size` bytes of data that compress somewhat, different for each seed.
std::string SampleData(std::size_t size, unsigned seed);

// The terminal's frames in `wire`; noise between them is skipped.
struct TerminalFrame {
  std::uint8_t cmd = 0;
  std::uint8_t code = 0;
  std::uint16_t seg = 0;
  std::string body;
  bool head_crc_ok = false;
};
std::vector<TerminalFrame> ParseTerminalFrames(std::string_view wire);

}  // namespace kvx::sim
