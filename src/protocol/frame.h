// Building download frames in place, checking received records, and their trace lines.
//
// The layout is in protocol/frame_format.h. The host keeps one FrameBuffer for the frame it sent
// last; every builder overwrites it in place, so no frame allocates, and a resend writes
// frame() again unchanged.
//
// Nothing here touches the serial port or the timers: the caller writes frame() to the port and
// traces it with TraceSentHead. All functions are reentrant; a FrameBuffer belongs to one thread
// (the engine's) and needs external synchronisation to be shared.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/trace.h"
#include "protocol/frame_format.h"
#include "protocol/result_codes.h"

namespace kvx {

// zlib's crc32 started from 0 over `bytes`: the standard CRC-32.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// The fields of a frame head, as sent (Tx_header) or as received (Rx_header).
struct FrameHead {
  std::uint8_t cmd = 0;
  std::uint8_t code = 0;
  std::uint16_t seg = 0;
  std::uint32_t body = 0;      // Body: n, the body length
  std::uint32_t raw_body = 0;  // R_Body
  std::uint32_t crc = 0;       // the head CRC as carried in the frame
};
using Tx_header = FrameHead;
using Rx_header = FrameHead;

// A date in its 7-byte record form: every field in bytes of its own. Values are kept within
// their bit widths (year 14 bits, month 4, day and hour 5, minute and second 6).
struct DateRecord {
  std::uint16_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;

  friend bool operator==(const DateRecord&, const DateRecord&) = default;
};

// A date record from calendar values, each cut to its bit width.
DateRecord MakeDateRecord(int year, int month, int day, int hour, int minute, int second);

// The 5-byte packed date of a setup response, field by field into the record form, and back.
DateRecord UnpackDate(std::span<const std::uint8_t, kPackedDateSize> packed);
std::array<std::uint8_t, kPackedDateSize> PackDate(const DateRecord& date);

// The 7-byte record as the finish body carries it, and back (other bits are 0 / ignored).
void WriteDateRecord(const DateRecord& date, std::span<std::uint8_t, kDateRecordSize> out);
DateRecord ReadDateRecord(std::span<const std::uint8_t, kDateRecordSize> in);

// One slot of the finish body: the first 16 bytes of `version` (zero-filled when it is shorter)
// and a date record.
struct FinishSlot {
  std::string_view version;
  DateRecord date;
};

// Writes the 19-byte head (SYN SYN STX cmd code seg Body R_Body crc) into `out` and returns its
// fields, crc included. Host frames use code PACKET_CMD_REQ; a simulated terminal its result.
FrameHead WriteFrameHead(std::span<std::uint8_t, kFrameHeadSize> out, std::uint8_t cmd,
                         std::uint8_t code, std::uint16_t seg, std::uint32_t body,
                         std::uint32_t raw_body);

// The one reused buffer of the frame sent last (131,092 bytes, allocated once).
//
// Write frames are made in two steps so a segment is compressed straight into place:
//   std::span<std::uint8_t> area = frames.BeginWriteBody();
//   uLongf n = area.size();
//   if (compress(area.data(), &n, segment, segment_length) == Z_OK)
//     frames.FinishWriteFrame(seg, n, segment_length);
class FrameBuffer {
 public:
  FrameBuffer();
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;

  // Setup frame, 37 bytes: `mode` (1: boot region included), segment size 65536, `data_size`.
  void BuildSetup(std::uint8_t mode, std::uint64_t data_size);

  // Finish frame, 70 bytes.
  void BuildFinish(const FinishSlot& first, const FinishSlot& second);

  // The body area (kMaxFrameBody bytes) for the next write frame. The previous frame is gone from
  // here on: frame() is empty until FinishWriteFrame succeeds.
  std::span<std::uint8_t> BeginWriteBody();

  // Completes the write frame whose `body_length` bytes were put in the body area: the head with
  // `seg` and R_Body = `raw_length`, and ETX. Refuses (false, frame() stays empty) a body longer
  // than kMaxFrameBody or a raw length beyond kSegmentSize.
  bool FinishWriteFrame(std::uint16_t seg, std::size_t body_length, std::size_t raw_length);

  // The frame sent last (length() bytes), empty before the first build.
  std::span<const std::uint8_t> frame() const { return {bytes_.get(), length_}; }
  std::size_t length() const { return length_; }
  // The head of that frame; meaningful only while length() > 0.
  const Tx_header& head() const { return head_; }

 private:
  std::uint8_t* body() { return bytes_.get() + kFrameHeadSize; }
  // Head, ETX and length around the `body_length` bytes already in the body area.
  void Seal(std::uint8_t cmd, std::uint16_t seg, std::uint32_t body_length,
            std::uint32_t raw_length);

  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t length_ = 0;
  Tx_header head_;
};

// "cmd['%c'/'%x],Seg=%d,Body=%d,R_Body=%d,crc[0x%X]\n" of a head. A command byte outside
// printable ASCII shows as U+FFFD, so the trace stays valid UTF-8; lengths print unsigned.
std::string FormatFrameTrace(const FrameHead& head);

// The transmit trace line of a frame sent or resent (kind LOG_TX, colour 0x3399).
void TraceSentHead(LogSink& log, const Tx_header& head);

// The receive trace line (kind LOG_RX, colour 0xff0000), then for a code other than RC_OK the
// line "Reason = %s\r\n" with the code's reason text (kind LOG_TEXT, red).
void ReportReceivedHead(LogSink& log, const Rx_header& head);

// The fields of a record's Rx_header. Bytes the record lacks read as 0.
Rx_header ReadRecordHead(std::span<const std::uint8_t> record);

struct RecordCheck {
  Rx_header head;       // as received (0 where the record was too short)
  RecordStatus status;  // RC_OK, or the code of the first check that failed
};

// Reports the record's head (ReportReceivedHead) and runs the checks in order; the first that
// fails decides:
//   1. byte 0 SYN and byte 1 STX                          else RC_SYN_STX_ERROR
//   2. command letter and code (StatusForCommandCode)     else that status
//   3. CRC of bytes 1..13 equals the crc at offset 14     else RC_HEADER_CRC_ERROR
//   4. ETX at offset 18 + n, inside the record            else RC_ETX_ERROR
// A record too short for a check fails that check. Bytes after the ETX are not looked at. The
// setup-response body is checked separately (CheckSetupResponseBody).
RecordCheck CheckReceivedRecord(std::span<const std::uint8_t> record, LogSink& log);

// What a setup response tells; dates are kept in the record form.
struct SetupResponse {
  std::uint8_t mode = 0;
  std::array<char, kBspVersionSize> BSPVer{};
  DateRecord bsp_date;
  std::array<char, kTetVersionSize> TETVer{};
  DateRecord tet_date;
};

// Checks the body of an 's' record that passed CheckReceivedRecord: the CRC of body bytes 0..106
// must equal bytes 107..110. A body shorter than 111 bytes (by its Body field or by the record's
// actual length) is refused. Returns RC_OK and fills `out`, or RC_HEADER_CRC_ERROR and leaves
// `out` alone.
RecordStatus CheckSetupResponseBody(std::span<const std::uint8_t> record, SetupResponse& out);

}  // namespace kvx
