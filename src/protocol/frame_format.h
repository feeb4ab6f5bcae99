// The download-mode frame: its byte layout and sizes, shared by the builder, the checker, the
// serial port's frame take and the simulated terminal.
//
// A frame on the wire, the same in both directions (all integers little-endian):
//
// clang-format off
//   offset  size  field
//        0     1  SYN     0x96
//        1     1  SYN     0x96
//        2     1  STX     0x82
//        3     1  cmd     command letter: 'S', 'W', 'F' from the host;
//                         's', 'w', 'f', 'D', 'd' from the terminal
//        4     1  code    host: PACKET_CMD_REQ (0xB0); terminal: a result code
//        5     2  seg     segment number (0 in setup and finish frames)
//        7     4  Body    n, the number of body bytes
//       11     4  R_Body  uncompressed segment length in a write frame; equal to Body otherwise
//       15     4  crc     CRC-32 of offsets 2..14 (STX up to and including R_Body)
//       19     n  body
//   19 + n     1  ETX     0x83
// clang-format on
//
// Offsets 0..18 are the host's head (Tx_header). A whole frame is 20 + n bytes; the largest, a
// write frame of 131,072 body bytes, is 131,092.
//
// The serial port hands out a received frame as a record that starts at the second SYN, so every
// record offset is the frame offset minus one: the 18-byte Rx_header, the body at 18, ETX at
// 18 + n; 19 + n bytes in all.
//
// Checksums are zlib's crc32 started from 0 (the standard CRC-32), stored little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvx {

// Control bytes.
inline constexpr std::uint8_t SYN = 0x96;
inline constexpr std::uint8_t STX = 0x82;
inline constexpr std::uint8_t ETX = 0x83;

// Command letters.
inline constexpr std::uint8_t kCmdSetup = 'S';           // host: announces one image transfer
inline constexpr std::uint8_t kCmdWrite = 'W';           // host: one compressed segment
inline constexpr std::uint8_t kCmdFinish = 'F';          // host: closes the transfer
inline constexpr std::uint8_t kCmdSetupResponse = 's';   // terminal
inline constexpr std::uint8_t kCmdWriteResponse = 'w';   // terminal
inline constexpr std::uint8_t kCmdFinishResponse = 'f';  // terminal
inline constexpr std::uint8_t kCmdDeviceRequest = 'D';   // terminal; only with PACKET_CMD_REQ
inline constexpr std::uint8_t kCmdDeviceOk = 'd';        // terminal; only with RC_OK

// Frame offsets (from the first SYN).
inline constexpr std::size_t kFrameCmdOffset = 3;
inline constexpr std::size_t kFrameCodeOffset = 4;
inline constexpr std::size_t kFrameSegOffset = 5;
inline constexpr std::size_t kFrameBodyLengthOffset = 7;
inline constexpr std::size_t kFrameRawLengthOffset = 11;
inline constexpr std::size_t kFrameHeadCrcOffset = 15;
inline constexpr std::size_t kFrameHeadSize = 19;  // Tx_header; the body starts here
inline constexpr std::size_t kFrameOverhead = kFrameHeadSize + 1;  // head and ETX

// The head CRC covers STX up to and including R_Body.
inline constexpr std::size_t kHeadCrcStart = 2;  // frame offset of STX
inline constexpr std::size_t kHeadCrcLength = 13;

// Received records start at the second SYN: frame offset minus one.
inline constexpr std::size_t kRecordSkip = 1;
inline constexpr std::size_t kRecordHeadSize = kFrameHeadSize - kRecordSkip;  // Rx_header, 18
inline constexpr std::size_t kRecordOverhead = kFrameOverhead - kRecordSkip;  // 19

// Sizes.
inline constexpr std::uint32_t kSegmentSize = 65536;  // uncompressed bytes per write frame
inline constexpr std::size_t kMaxFrameBody = 131072;  // largest body (compressed segment)
inline constexpr std::size_t kFrameBufferSize = kMaxFrameBody + kFrameOverhead;  // 131,092

// Write frames needed for `size` bytes of image: whole segments and a shorter last one.
constexpr std::int32_t segment_count_for(std::uint64_t size) {
  const std::uint64_t count = size / kSegmentSize + (size % kSegmentSize != 0 ? 1 : 0);
  constexpr std::uint64_t kMaxCount = 0x7fffffff;
  return static_cast<std::int32_t>(count < kMaxCount ? count : kMaxCount);
}

// Setup body ('S'): mode, segment size (32), data size (64), CRC of bytes 0..12.
inline constexpr std::size_t kSetupBodySize = 17;
inline constexpr std::size_t kSetupModeOffset = 0;
inline constexpr std::size_t kSetupSegmentSizeOffset = 1;
inline constexpr std::size_t kSetupDataSizeOffset = 5;
inline constexpr std::size_t kSetupCrcOffset = 13;

// Finish body ('F'): two slots of a 16-byte version text and a 7-byte date record, then the CRC
// of bytes 0..45.
inline constexpr std::size_t kFinishBodySize = 50;
inline constexpr std::size_t kFinishVersionSize = 16;
inline constexpr std::size_t kDateRecordSize = 7;
inline constexpr std::size_t kFinishSlotSize = kFinishVersionSize + kDateRecordSize;  // 23
inline constexpr std::size_t kFinishCrcOffset = 2 * kFinishSlotSize;                  // 46

// Setup response body ('s'): mode, BSPVer (64), BSP date (packed, 5), TETVer (16),
// TET date (packed, 5), 16 bytes not read, CRC of bytes 0..106.
inline constexpr std::size_t kSetupResponseBodySize = 111;
inline constexpr std::size_t kResponseModeOffset = 0;
inline constexpr std::size_t kBspVersionOffset = 1;
inline constexpr std::size_t kBspVersionSize = 64;
inline constexpr std::size_t kBspDateOffset = 65;
inline constexpr std::size_t kTetVersionOffset = 70;
inline constexpr std::size_t kTetVersionSize = 16;
inline constexpr std::size_t kTetDateOffset = 86;
inline constexpr std::size_t kPackedDateSize = 5;
inline constexpr std::size_t kSetupResponseCrcOffset = 107;

// Packed date (40-bit little-endian integer, from bit 0 up): year 14 bits, month 4, day 5,
// hour 5, minute 6, second 6. The date record keeps each field in bytes of its own:
// year (16-bit, bits 0..13), month (bits 0..3), day, hour (bits 0..4), minute, second (0..5).

}  // namespace kvx
