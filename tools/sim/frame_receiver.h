// The terminal's frame reader: finds the host's frames in the byte stream after "+START" and
// checks their framing strictly (SYN SYN STX, head CRC, a body length the terminal can hold,
// ETX). What the frame says is judged by the DownloadSession.
//
// This is the terminal's own reading of the wire format, written apart from the host's checks
// so that it can catch the host's mistakes. Not thread-safe; owned by one DownloadSession.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvx::sim {

// The head fields of a frame, as they arrived.
struct FrameFields {
  std::uint8_t cmd = 0;
  std::uint8_t code = 0;
  std::uint16_t seg = 0;
  std::uint32_t body_length = 0;  // Body
  std::uint32_t raw_length = 0;   // R_Body
  std::uint32_t head_crc = 0;
};

struct ReceivedFrame {
  FrameFields fields;
  // RC_OK, or the result code of the framing fault: RC_HEADER_CRC_ERROR, RC_SIZE_ERROR (a
  // body longer than any frame may carry) or RC_ETX_ERROR.
  std::uint8_t status = 0;
  std::string reason;     // for a refused frame
  std::string_view wire;  // the whole frame, first SYN to ETX (accepted frames only)
  std::string_view body;  // the body (accepted frames only)
};

class FrameReceiver {
 public:
  // Adds received bytes. Invalidates the views of frames returned before.
  void Append(std::string_view bytes);

  // The next frame, accepted or refused, or nothing until more bytes arrive. After a refused
  // frame the reader searches again from the byte after its first SYN, so a good frame that
  // follows a damaged one is still found.
  std::optional<ReceivedFrame> Next();

  // Bytes that belonged to no frame (noise before a SYN SYN STX), not counting the remains of
  // frames already refused.
  std::size_t stray_bytes() const { return stray_bytes_; }

  // Bytes of a frame begun but not complete.
  std::size_t pending() const { return buffer_.size() - start_; }

 private:
  void Skip(std::size_t count, bool stray);

  std::string buffer_;
  std::size_t start_ = 0;  // first unread byte of buffer_
  std::size_t stray_bytes_ = 0;
  bool resyncing_ = false;  // skipping the remains of a refused frame
};

}  // namespace kvx::sim
