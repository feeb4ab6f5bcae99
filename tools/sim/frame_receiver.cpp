#include "sim/frame_receiver.h"

#include <zlib.h>

#include "protocol/frame_format.h"
#include "protocol/result_codes.h"
#include "sim/le_bytes.h"

namespace kvx::sim {
namespace {

constexpr std::string_view kSync = "\x96\x96\x82";  // SYN SYN STX

std::uint32_t Crc32Of(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

}  // namespace

void FrameReceiver::Append(std::string_view bytes) {
  // Drop what has been read before growing, so the buffer holds at most one frame and a tail.
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

void FrameReceiver::Skip(std::size_t count, bool stray) {
  if (stray && !resyncing_) stray_bytes_ += count;
  start_ += count;
}

std::optional<ReceivedFrame> FrameReceiver::Next() {
  const std::string_view unread = std::string_view(buffer_).substr(start_);
  const std::size_t sync = unread.find(kSync);
  if (sync == std::string_view::npos) {
    // Keep a tail that may be the start of a SYN SYN STX still arriving.
    std::size_t keep = 0;
    if (unread.ends_with("\x96\x96")) {
      keep = 2;
    } else if (unread.ends_with('\x96')) {
      keep = 1;
    }
    Skip(unread.size() - keep, true);
    return std::nullopt;
  }
  Skip(sync, true);
  const std::string_view frame = std::string_view(buffer_).substr(start_);
  if (frame.size() < kFrameHeadSize) return std::nullopt;

  ReceivedFrame received;
  FrameFields& f = received.fields;
  f.cmd = static_cast<std::uint8_t>(frame[kFrameCmdOffset]);
  f.code = static_cast<std::uint8_t>(frame[kFrameCodeOffset]);
  f.seg = GetLe<std::uint16_t>(frame, kFrameSegOffset);
  f.body_length = GetLe<std::uint32_t>(frame, kFrameBodyLengthOffset);
  f.raw_length = GetLe<std::uint32_t>(frame, kFrameRawLengthOffset);
  f.head_crc = GetLe<std::uint32_t>(frame, kFrameHeadCrcOffset);

  const auto refuse = [&](std::uint8_t status, std::string reason) {
    received.status = status;
    received.reason = std::move(reason);
    Skip(1, false);  // search again just after this frame's first SYN
    resyncing_ = true;
    return received;
  };
  if (Crc32Of(frame.substr(kHeadCrcStart, kHeadCrcLength)) != f.head_crc) {
    return refuse(RC_HEADER_CRC_ERROR, "head CRC");
  }
  if (f.body_length > kMaxFrameBody) {
    return refuse(RC_SIZE_ERROR, "body of " + std::to_string(f.body_length) + " bytes");
  }
  const std::size_t length = kFrameOverhead + f.body_length;
  if (frame.size() < length) return std::nullopt;
  if (static_cast<std::uint8_t>(frame[length - 1]) != ETX) return refuse(RC_ETX_ERROR, "no ETX");

  received.status = RC_OK;
  received.wire = frame.substr(0, length);
  received.body = frame.substr(kFrameHeadSize, f.body_length);
  start_ += length;
  resyncing_ = false;
  return received;
}

}  // namespace kvx::sim
