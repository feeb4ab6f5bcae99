#include "protocol/frame.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kvx {
namespace {

void PutLe16(std::uint8_t* out, std::uint16_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutLe64(std::uint8_t* out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t GetLe16(const std::uint8_t* in) {
  return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

std::uint32_t GetLe32(const std::uint8_t* in) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

constexpr std::uint32_t kYearMask = 0x3FFF;
constexpr std::uint32_t kMonthMask = 0x0F;
constexpr std::uint32_t kDayMask = 0x1F;
constexpr std::uint32_t kHourMask = 0x1F;
constexpr std::uint32_t kMinuteMask = 0x3F;
constexpr std::uint32_t kSecondMask = 0x3F;

// Bit positions of the packed date's fields.
constexpr int kPackedMonthShift = 14;
constexpr int kPackedDayShift = 18;
constexpr int kPackedHourShift = 23;
constexpr int kPackedMinuteShift = 28;
constexpr int kPackedSecondShift = 34;

void WriteVersionText(std::string_view text, std::uint8_t* out) {
  const std::size_t n = std::min(text.size(), kFinishVersionSize);
  std::memcpy(out, text.data(), n);
  std::memset(out + n, 0, kFinishVersionSize - n);
}

std::uint32_t HeadCrc(const std::uint8_t* frame) {
  return Crc32({frame + kHeadCrcStart, kHeadCrcLength});
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(crc32_z(0L, bytes.data(), static_cast<z_size_t>(bytes.size())));
}

DateRecord MakeDateRecord(int year, int month, int day, int hour, int minute, int second) {
  const auto cut = [](int value, std::uint32_t mask) {
    return static_cast<std::uint32_t>(value) & mask;
  };
  return DateRecord{static_cast<std::uint16_t>(cut(year, kYearMask)),
                    static_cast<std::uint8_t>(cut(month, kMonthMask)),
                    static_cast<std::uint8_t>(cut(day, kDayMask)),
                    static_cast<std::uint8_t>(cut(hour, kHourMask)),
                    static_cast<std::uint8_t>(cut(minute, kMinuteMask)),
                    static_cast<std::uint8_t>(cut(second, kSecondMask))};
}

DateRecord UnpackDate(std::span<const std::uint8_t, kPackedDateSize> packed) {
  std::uint64_t value = 0;
  for (int i = static_cast<int>(kPackedDateSize) - 1; i >= 0; --i) value = (value << 8) | packed[i];
  const auto field = [value](int shift, std::uint32_t mask) {
    return static_cast<std::uint32_t>(value >> shift) & mask;
  };
  return DateRecord{static_cast<std::uint16_t>(field(0, kYearMask)),
                    static_cast<std::uint8_t>(field(kPackedMonthShift, kMonthMask)),
                    static_cast<std::uint8_t>(field(kPackedDayShift, kDayMask)),
                    static_cast<std::uint8_t>(field(kPackedHourShift, kHourMask)),
                    static_cast<std::uint8_t>(field(kPackedMinuteShift, kMinuteMask)),
                    static_cast<std::uint8_t>(field(kPackedSecondShift, kSecondMask))};
}

std::array<std::uint8_t, kPackedDateSize> PackDate(const DateRecord& date) {
  const std::uint64_t value = (std::uint64_t{date.year} & kYearMask) |
                              ((std::uint64_t{date.month} & kMonthMask) << kPackedMonthShift) |
                              ((std::uint64_t{date.day} & kDayMask) << kPackedDayShift) |
                              ((std::uint64_t{date.hour} & kHourMask) << kPackedHourShift) |
                              ((std::uint64_t{date.minute} & kMinuteMask) << kPackedMinuteShift) |
                              ((std::uint64_t{date.second} & kSecondMask) << kPackedSecondShift);
  std::array<std::uint8_t, kPackedDateSize> packed{};
  for (std::size_t i = 0; i < kPackedDateSize; ++i) {
    packed[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  return packed;
}

void WriteDateRecord(const DateRecord& date, std::span<std::uint8_t, kDateRecordSize> out) {
  PutLe16(out.data(), static_cast<std::uint16_t>(date.year & kYearMask));
  out[2] = static_cast<std::uint8_t>(date.month & kMonthMask);
  out[3] = static_cast<std::uint8_t>(date.day & kDayMask);
  out[4] = static_cast<std::uint8_t>(date.hour & kHourMask);
  out[5] = static_cast<std::uint8_t>(date.minute & kMinuteMask);
  out[6] = static_cast<std::uint8_t>(date.second & kSecondMask);
}

DateRecord ReadDateRecord(std::span<const std::uint8_t, kDateRecordSize> in) {
  return DateRecord{static_cast<std::uint16_t>(GetLe16(in.data()) & kYearMask),
                    static_cast<std::uint8_t>(in[2] & kMonthMask),
                    static_cast<std::uint8_t>(in[3] & kDayMask),
                    static_cast<std::uint8_t>(in[4] & kHourMask),
                    static_cast<std::uint8_t>(in[5] & kMinuteMask),
                    static_cast<std::uint8_t>(in[6] & kSecondMask)};
}

FrameHead WriteFrameHead(std::span<std::uint8_t, kFrameHeadSize> out, std::uint8_t cmd,
                         std::uint8_t code, std::uint16_t seg, std::uint32_t body,
                         std::uint32_t raw_body) {
  std::uint8_t* head = out.data();
  head[0] = SYN;
  head[1] = SYN;
  head[2] = STX;
  head[kFrameCmdOffset] = cmd;
  head[kFrameCodeOffset] = code;
  PutLe16(head + kFrameSegOffset, seg);
  PutLe32(head + kFrameBodyLengthOffset, body);
  PutLe32(head + kFrameRawLengthOffset, raw_body);
  const std::uint32_t crc = HeadCrc(head);
  PutLe32(head + kFrameHeadCrcOffset, crc);
  return FrameHead{cmd, code, seg, body, raw_body, crc};
}

FrameBuffer::FrameBuffer() : bytes_(std::make_unique<std::uint8_t[]>(kFrameBufferSize)) {}

void FrameBuffer::Seal(std::uint8_t cmd, std::uint16_t seg, std::uint32_t body_length,
                       std::uint32_t raw_length) {
  head_ = WriteFrameHead(std::span<std::uint8_t, kFrameHeadSize>(bytes_.get(), kFrameHeadSize), cmd,
                         PACKET_CMD_REQ, seg, body_length, raw_length);
  bytes_[kFrameHeadSize + body_length] = ETX;
  length_ = kFrameOverhead + body_length;
}

void FrameBuffer::BuildSetup(std::uint8_t mode, std::uint64_t data_size) {
  std::uint8_t* b = body();
  b[kSetupModeOffset] = mode;
  PutLe32(b + kSetupSegmentSizeOffset, kSegmentSize);
  PutLe64(b + kSetupDataSizeOffset, data_size);
  PutLe32(b + kSetupCrcOffset, Crc32({b, kSetupCrcOffset}));
  Seal(kCmdSetup, 0, kSetupBodySize, kSetupBodySize);
}

void FrameBuffer::BuildFinish(const FinishSlot& first, const FinishSlot& second) {
  std::uint8_t* b = body();
  const FinishSlot* slots[] = {&first, &second};
  for (std::size_t i = 0; i < 2; ++i) {
    std::uint8_t* slot = b + i * kFinishSlotSize;
    WriteVersionText(slots[i]->version, slot);
    WriteDateRecord(slots[i]->date, std::span<std::uint8_t, kDateRecordSize>(
                                        slot + kFinishVersionSize, kDateRecordSize));
  }
  PutLe32(b + kFinishCrcOffset, Crc32({b, kFinishCrcOffset}));
  Seal(kCmdFinish, 0, kFinishBodySize, kFinishBodySize);
}

std::span<std::uint8_t> FrameBuffer::BeginWriteBody() {
  length_ = 0;
  return {body(), kMaxFrameBody};
}

bool FrameBuffer::FinishWriteFrame(std::uint16_t seg, std::size_t body_length,
                                   std::size_t raw_length) {
  if (body_length > kMaxFrameBody || raw_length > kSegmentSize) {
    length_ = 0;
    return false;
  }
  Seal(kCmdWrite, seg, static_cast<std::uint32_t>(body_length),
       static_cast<std::uint32_t>(raw_length));
  return true;
}

std::string FormatFrameTrace(const FrameHead& head) {
  const bool printable = head.cmd >= 0x20 && head.cmd < 0x7F;
  const std::string cmd = printable ? std::string(1, static_cast<char>(head.cmd)) : "\xEF\xBF\xBD";
  char rest[96];
  std::snprintf(rest, sizeof rest, "'/%x],Seg=%u,Body=%u,R_Body=%u,crc[0x%X]\n",
                static_cast<unsigned>(head.code), static_cast<unsigned>(head.seg),
                static_cast<unsigned>(head.body), static_cast<unsigned>(head.raw_body),
                static_cast<unsigned>(head.crc));
  return "cmd['" + cmd + rest;
}

void TraceSentHead(LogSink& log, const Tx_header& head) {
  log.WriteLog(FormatFrameTrace(head), kTraceBrown, LOG_TX);
}

void ReportReceivedHead(LogSink& log, const Rx_header& head) {
  log.WriteLog(FormatFrameTrace(head), kTraceBlue, LOG_RX);
  if (head.code != RC_OK) {
    log.WriteLog("Reason = " + std::string(ResultReasonText(head.code)) + "\r\n", kTraceRed,
                 LOG_TEXT);
  }
}

Rx_header ReadRecordHead(std::span<const std::uint8_t> record) {
  // Copy what there is of the head into a zeroed frame head, so short records read as 0.
  std::uint8_t frame[kFrameHeadSize] = {};
  const std::size_t n = std::min(record.size(), kRecordHeadSize);
  if (n > 0) std::memcpy(frame + kRecordSkip, record.data(), n);
  return Rx_header{frame[kFrameCmdOffset],
                   frame[kFrameCodeOffset],
                   GetLe16(frame + kFrameSegOffset),
                   GetLe32(frame + kFrameBodyLengthOffset),
                   GetLe32(frame + kFrameRawLengthOffset),
                   GetLe32(frame + kFrameHeadCrcOffset)};
}

namespace {

RecordStatus CheckRecordChain(std::span<const std::uint8_t> record, const Rx_header& head) {
  if (record.size() < 2 || record[0] != SYN || record[1] != STX) return RC_SYN_STX_ERROR;

  const RecordStatus status = StatusForCommandCode(head.cmd, head.code);
  if (status != RC_OK) return status;

  // The crc field sits at record offset 14; bytes 1..13 are STX up to and including R_Body.
  if (record.size() < kRecordHeadSize ||
      Crc32(record.subspan(kHeadCrcStart - kRecordSkip, kHeadCrcLength)) != head.crc) {
    return RC_HEADER_CRC_ERROR;
  }

  const std::uint64_t etx_offset = std::uint64_t{kRecordHeadSize} + head.body;
  if (etx_offset >= record.size() || record[etx_offset] != ETX) return RC_ETX_ERROR;
  return RC_OK;
}

}  // namespace

RecordCheck CheckReceivedRecord(std::span<const std::uint8_t> record, LogSink& log) {
  RecordCheck check{ReadRecordHead(record), RC_OK};
  ReportReceivedHead(log, check.head);
  check.status = CheckRecordChain(record, check.head);
  return check;
}

RecordStatus CheckSetupResponseBody(std::span<const std::uint8_t> record, SetupResponse& out) {
  const Rx_header head = ReadRecordHead(record);
  if (head.body < kSetupResponseBodySize ||
      record.size() < kRecordHeadSize + kSetupResponseBodySize) {
    return RC_HEADER_CRC_ERROR;
  }
  const std::uint8_t* body = record.data() + kRecordHeadSize;
  if (Crc32({body, kSetupResponseCrcOffset}) != GetLe32(body + kSetupResponseCrcOffset)) {
    return RC_HEADER_CRC_ERROR;
  }
  out.mode = body[kResponseModeOffset];
  std::memcpy(out.BSPVer.data(), body + kBspVersionOffset, kBspVersionSize);
  out.bsp_date = UnpackDate(
      std::span<const std::uint8_t, kPackedDateSize>(body + kBspDateOffset, kPackedDateSize));
  std::memcpy(out.TETVer.data(), body + kTetVersionOffset, kTetVersionSize);
  out.tet_date = UnpackDate(
      std::span<const std::uint8_t, kPackedDateSize>(body + kTetDateOffset, kPackedDateSize));
  return RC_OK;
}

}  // namespace kvx
