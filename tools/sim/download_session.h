// One download as the terminal sees it, from "+START" until the host lets go of the line: it
// judges each frame strictly, stores the image data, answers, and injects the faults asked for.
//
// Checks beyond the framing (FrameReceiver), each refused with the code a terminal would give:
//   every frame   code PACKET_CMD_REQ                              else RC_COMMAND_ERROR
//   'S'           Body = R_Body = 17, seg 0                        else RC_SIZE_ERROR / PARSING
//                 body CRC of bytes 0..12                          else RC_HEADER_CRC_ERROR
//                 mode 0 or 1                                      else RC_SETUP_MODE_ERROR
//                 segment size 65536                               else RC_BLOCK_SIZE_ERROR
//                 data size 1 .. 0x3600000 (the image limit)       else RC_TOTAL_SIZE_ERROR
//   'W'           a setup taken and no finish yet                  else RC_COMMAND_ERROR
//                 seg the next one expected (or a byte-for-byte
//                 resend of the one just taken)                    else RC_SEG_ERROR naming it
//                 R_Body 65536, or the remainder for the last      else RC_SIZE_ERROR
//                 body inflates to exactly R_Body bytes, whole     else RC_UNCOMPRESS_ERROR
//   'F'           a setup taken                                    else RC_COMMAND_ERROR
//                 Body = R_Body = 50, seg 0                        else RC_SIZE_ERROR / PARSING
//                 body CRC of bytes 0..45                          else RC_HEADER_CRC_ERROR
//                 no bits outside the date records' fields         else RC_PARSING_ERROR
//                 every segment received                           else RC_TOTAL_SIZE_ERROR
//   other letters                                                  RC_COMMAND_ERROR
// Faults apply only to frames that pass every check.
//
// Not thread-safe; owned by the Terminal. The config, the fault plan and the sink must outlive
// the session.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/fault_plan.h"
#include "sim/frame_receiver.h"
#include "sim/sim_options.h"
#include "sim/terminal_sink.h"
#include "sim/transfer_summary.h"

namespace kvx::sim {

class DownloadSession {
 public:
  DownloadSession(const DownloadConfig& config, FaultPlan& faults, TerminalSink& sink);

  // Bytes received in download mode.
  void Receive(std::string_view bytes);

  // Set once a vanish fault fired: the terminal is to drop off the line for this long.
  // The session takes nothing more.
  std::optional<std::chrono::milliseconds> TakeVanish() {
    return std::exchange(vanish_for_, std::nullopt);
  }

  // The finish frame has been taken.
  bool finished() const { return finished_; }

  TransferSummary Summary() const;

  // The image data: the size the setup frame announced, filled where segments were taken.
  std::string_view data() const { return data_; }

 private:
  // The verdict on a frame that passed the framing checks.
  struct Check {
    std::uint8_t status;  // RC_OK or the code to answer with
    std::string reason;
    std::uint16_t answer_seg = 0;
    bool repeat = false;  // a resend of the segment just taken: answer again, store nothing
  };

  void Handle(const ReceivedFrame& frame);
  Check Judge(const ReceivedFrame& frame, bool resend);
  Check JudgeSetup(const ReceivedFrame& frame) const;
  Check JudgeWrite(const ReceivedFrame& frame, bool resend);
  Check JudgeFinish(const ReceivedFrame& frame);
  void Take(const ReceivedFrame& frame, const Check& check);
  void Answer(std::uint8_t cmd, std::uint8_t code, std::uint16_t seg, std::string_view body,
              const std::optional<FrameFault>& fault);
  std::size_t SegmentLength(std::size_t seg) const;
  std::size_t InOrderBytes() const;

  const DownloadConfig& config_;
  FaultPlan& faults_;
  TerminalSink& sink_;
  FrameReceiver receiver_;
  std::string last_frame_;  // the frame received just before, to recognise resends

  // The transfer announced by the last setup frame taken.
  bool set_up_ = false;
  bool finished_ = false;
  std::uint8_t mode_ = 0;
  std::size_t segments_ = 0;
  std::string data_;
  std::vector<bool> have_;                        // segments taken
  std::size_t next_seg_ = 0;                      // the segment expected next
  std::string inflated_;                          // one segment, inflated while it is checked
  std::array<FinishSlotInfo, 2> pending_finish_;  // of the finish frame being judged
  std::optional<std::array<FinishSlotInfo, 2>> finish_;

  std::optional<std::chrono::milliseconds> vanish_for_;
  int frames_ = 0;
  int resends_ = 0;
  int refused_ = 0;
};

}  // namespace kvx::sim
