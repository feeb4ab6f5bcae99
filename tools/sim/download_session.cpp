#include "sim/download_session.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "protocol/frame_format.h"
#include "protocol/result_codes.h"
#include "sim/le_bytes.h"
#include "sim/log_format.h"
#include "sim/terminal_frames.h"

namespace kvx::sim {
namespace {

// The largest image the host loads; a terminal has no room for more.
constexpr std::uint64_t kMaxImageSize = 0x3600000;

std::uint32_t Crc32Of(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

// A command letter for the log: the letter itself, or \xHH.
std::string Letter(std::uint8_t cmd) {
  const std::string quoted = QuoteBytes(std::string(1, static_cast<char>(cmd)));
  return quoted.substr(1, quoted.size() - 2);
}

// The answer letter for a frame of the host: its lower case.
std::uint8_t AnswerLetter(std::uint8_t cmd) {
  switch (cmd) {
    case kCmdSetup:
      return kCmdSetupResponse;
    case kCmdFinish:
      return kCmdFinishResponse;
    default:
      return kCmdWriteResponse;
  }
}

std::string_view FaultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kSilent:
      return "silent";
    case FaultKind::kBadCrc:
      return "bad-crc";
    case FaultKind::kCode:
      return "code";
    case FaultKind::kSegError:
      return "seg-error";
    case FaultKind::kRequest:
      return "request";
    case FaultKind::kWrongMode:
      return "wrong-mode";
    case FaultKind::kNoise:
      return "noise";
    case FaultKind::kVanish:
      return "vanish";
  }
  return "";
}

// A 7-byte date record of the finish body, or nothing when a bit outside its fields is set.
std::optional<DateTime> ReadDateRecord(std::string_view record) {
  const auto year = GetLe<std::uint16_t>(record, 0);
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(record[i]); };
  if ((year & 0xC000) != 0 || (byte(2) & 0xF0) != 0 || (byte(3) & 0xE0) != 0 ||
      (byte(4) & 0xE0) != 0 || (byte(5) & 0xC0) != 0 || (byte(6) & 0xC0) != 0) {
    return std::nullopt;
  }
  return DateTime{year, byte(2), byte(3), byte(4), byte(5), byte(6)};
}

std::string VersionText(std::string_view field) {
  const std::size_t end = field.find_last_not_of('\0');
  return std::string(field.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

}  // namespace

DownloadSession::DownloadSession(const DownloadConfig& config, FaultPlan& faults,
                                 TerminalSink& sink)
    : config_(config), faults_(faults), sink_(sink) {}

void DownloadSession::Receive(std::string_view bytes) {
  const std::size_t stray_before = receiver_.stray_bytes();
  receiver_.Append(bytes);
  // A terminal that has vanished hears nothing more.
  while (!vanish_for_) {
    const auto frame = receiver_.Next();
    if (!frame) break;
    Handle(*frame);
  }
  if (receiver_.stray_bytes() != stray_before) {
    sink_.Log("stray " + std::to_string(receiver_.stray_bytes() - stray_before));
  }
}

std::size_t DownloadSession::SegmentLength(std::size_t seg) const {
  if (seg + 1 < segments_) return kSegmentSize;
  return data_.size() - (segments_ - 1) * kSegmentSize;
}

void DownloadSession::Handle(const ReceivedFrame& frame) {
  ++frames_;
  const FrameFields& f = frame.fields;
  // A frame that failed the framing checks has no trustworthy bytes to compare.
  const bool resend = frame.status == RC_OK && frame.wire == last_frame_;
  if (resend) ++resends_;
  if (frame.status == RC_OK) last_frame_.assign(frame.wire);

  std::string line = "frame " + Letter(f.cmd) + " seg=" + std::to_string(f.seg) +
                     " body=" + std::to_string(f.body_length) +
                     " raw=" + std::to_string(f.raw_length) + (resend ? " resend" : "");
  const Check check =
      frame.status == RC_OK ? Judge(frame, resend) : Check{frame.status, frame.reason, f.seg};
  if (check.status != RC_OK) {
    ++refused_;
    sink_.Log(line + " refused " + Hex(check.status) + " " + check.reason);
    Answer(AnswerLetter(f.cmd), check.status, check.answer_seg, {}, std::nullopt);
    return;
  }

  const AppliedFaults faults = faults_.ForFrame(f.cmd, f.seg);
  if (faults.noise > 0) {
    sink_.Log("noise " + std::to_string(faults.noise));
    sink_.Send(NoiseBytes(faults.noise));
  }
  const std::optional<FrameFault>& fault = faults.answer;
  const auto is = [&fault](FaultKind kind) { return fault && fault->kind == kind; };
  if (is(FaultKind::kSilent)) {
    sink_.Log(line + " dropped");
    return;
  }
  if (is(FaultKind::kVanish)) {
    sink_.Log(line + " dropped, vanishing for " + std::to_string(fault->value) + " ms");
    vanish_for_ = std::chrono::milliseconds(fault->value);
    return;
  }
  // Faults that stand for the terminal's own trouble leave the frame untaken, so the host must
  // send it again; the others damage only the answer.
  const bool taken = !fault || is(FaultKind::kBadCrc) || is(FaultKind::kWrongMode) ||
                     (is(FaultKind::kSegError) && f.cmd == kCmdSetup);
  sink_.Log(line + (taken ? " accepted" : " declined"));
  if (taken) Take(frame, check);

  if (is(FaultKind::kCode)) {
    Answer(AnswerLetter(f.cmd), static_cast<std::uint8_t>(fault->value), f.seg, {}, fault);
    return;
  }
  if (is(FaultKind::kRequest)) {
    Answer(kCmdDeviceRequest, PACKET_CMD_REQ, f.seg, {}, fault);
    return;
  }
  if (is(FaultKind::kSegError)) {
    const auto named = static_cast<std::uint16_t>(fault->value);
    if (set_up_ && named < segments_) next_seg_ = named;  // sending resumes there
    Answer(AnswerLetter(f.cmd), RC_SEG_ERROR, named, {}, fault);
    return;
  }
  switch (f.cmd) {
    case kCmdSetup: {
      std::uint8_t echo = config_.mode_echo ? static_cast<std::uint8_t>(*config_.mode_echo) : mode_;
      if (is(FaultKind::kWrongMode)) echo ^= 1;
      Answer(kCmdSetupResponse, RC_OK, 0, BuildSetupAnswerBody(echo, config_), fault);
      return;
    }
    case kCmdWrite:
      Answer(kCmdWriteResponse, RC_OK, f.seg, {}, fault);
      return;
    default:
      Answer(kCmdFinishResponse, RC_OK, 0, {}, fault);
      return;
  }
}

DownloadSession::Check DownloadSession::Judge(const ReceivedFrame& frame, bool resend) {
  const FrameFields& f = frame.fields;
  if (f.code != PACKET_CMD_REQ) {
    return {RC_COMMAND_ERROR, "code " + Hex(f.code) + " is not PACKET_CMD_REQ", f.seg};
  }
  switch (f.cmd) {
    case kCmdSetup:
      return JudgeSetup(frame);
    case kCmdWrite:
      return JudgeWrite(frame, resend);
    case kCmdFinish:
      return JudgeFinish(frame);
    default:
      return {RC_COMMAND_ERROR, "unknown command", f.seg};
  }
}

DownloadSession::Check DownloadSession::JudgeSetup(const ReceivedFrame& frame) const {
  const FrameFields& f = frame.fields;
  const std::string_view body = frame.body;
  if (f.body_length != kSetupBodySize || f.raw_length != kSetupBodySize) {
    return {RC_SIZE_ERROR, "setup body is not 17 bytes", f.seg};
  }
  if (f.seg != 0) return {RC_PARSING_ERROR, "setup seg is not 0", f.seg};
  if (Crc32Of(body.substr(0, kSetupCrcOffset)) != GetLe<std::uint32_t>(body, kSetupCrcOffset)) {
    return {RC_HEADER_CRC_ERROR, "setup body CRC", f.seg};
  }
  const auto mode = static_cast<std::uint8_t>(body[kSetupModeOffset]);
  if (mode > 1) return {RC_SETUP_MODE_ERROR, "mode " + std::to_string(mode), f.seg};
  const auto segment_size = GetLe<std::uint32_t>(body, kSetupSegmentSizeOffset);
  if (segment_size != kSegmentSize) {
    return {RC_BLOCK_SIZE_ERROR, "segment size " + std::to_string(segment_size), f.seg};
  }
  const auto size = GetLe<std::uint64_t>(body, kSetupDataSizeOffset);
  if (size == 0 || size > kMaxImageSize) {
    return {RC_TOTAL_SIZE_ERROR, "data size " + std::to_string(size), f.seg};
  }
  return {RC_OK, {}, 0};
}

DownloadSession::Check DownloadSession::JudgeWrite(const ReceivedFrame& frame, bool resend) {
  const FrameFields& f = frame.fields;
  if (!set_up_ || finished_) {
    return {RC_COMMAND_ERROR, set_up_ ? "write after finish" : "write before setup", f.seg};
  }
  const auto expected = static_cast<std::uint16_t>(next_seg_);
  // The host resends its last frame unchanged when an answer went missing.
  const bool repeat = resend && next_seg_ > 0 && f.seg == next_seg_ - 1 && have_[f.seg];
  if (f.seg != next_seg_ && !repeat) {
    return {
        RC_SEG_ERROR,
        "segment " + std::to_string(f.seg) + " out of order, expected " + std::to_string(next_seg_),
        expected};
  }
  if (f.raw_length != SegmentLength(f.seg)) {
    return {RC_SIZE_ERROR,
            "R_Body " + std::to_string(f.raw_length) + ", segment has " +
                std::to_string(SegmentLength(f.seg)),
            f.seg};
  }
  // The whole body must be one zlib stream that gives exactly R_Body bytes.
  inflated_.resize(f.raw_length);
  uLongf produced = f.raw_length;
  uLong consumed = f.body_length;
  const int result = uncompress2(reinterpret_cast<Bytef*>(inflated_.data()), &produced,
                                 reinterpret_cast<const Bytef*>(frame.body.data()), &consumed);
  if (result != Z_OK || produced != f.raw_length || consumed != f.body_length) {
    return {RC_UNCOMPRESS_ERROR,
            result != Z_OK
                ? std::string("inflate: ") + zError(result)
                : "inflate used " + std::to_string(consumed) + " of " +
                      std::to_string(f.body_length) + " bytes for " + std::to_string(produced),
            f.seg};
  }
  Check check{RC_OK, {}, f.seg};
  check.repeat = repeat;
  return check;
}

DownloadSession::Check DownloadSession::JudgeFinish(const ReceivedFrame& frame) {
  const FrameFields& f = frame.fields;
  const std::string_view body = frame.body;
  if (!set_up_) return {RC_COMMAND_ERROR, "finish before setup", f.seg};
  if (f.body_length != kFinishBodySize || f.raw_length != kFinishBodySize) {
    return {RC_SIZE_ERROR, "finish body is not 50 bytes", f.seg};
  }
  if (f.seg != 0) return {RC_PARSING_ERROR, "finish seg is not 0", f.seg};
  if (Crc32Of(body.substr(0, kFinishCrcOffset)) != GetLe<std::uint32_t>(body, kFinishCrcOffset)) {
    return {RC_HEADER_CRC_ERROR, "finish body CRC", f.seg};
  }
  std::array<FinishSlotInfo, 2> slots;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const std::string_view slot = body.substr(i * kFinishSlotSize, kFinishSlotSize);
    const auto date = ReadDateRecord(slot.substr(kFinishVersionSize, kDateRecordSize));
    if (!date) return {RC_PARSING_ERROR, "date record " + std::to_string(i + 1), f.seg};
    slots[i] = {VersionText(slot.substr(0, kFinishVersionSize)), *date};
  }
  const auto missing = std::find(have_.begin(), have_.end(), false);
  if (missing != have_.end()) {
    return {RC_TOTAL_SIZE_ERROR,
            "segment " + std::to_string(missing - have_.begin()) + " never received", f.seg};
  }
  pending_finish_ = slots;
  return {RC_OK, {}, 0};
}

void DownloadSession::Take(const ReceivedFrame& frame, const Check& check) {
  switch (frame.fields.cmd) {
    case kCmdSetup: {
      // A setup frame (re)starts the transfer.
      const std::string_view body = frame.body;
      mode_ = static_cast<std::uint8_t>(body[kSetupModeOffset]);
      const auto size = GetLe<std::uint64_t>(body, kSetupDataSizeOffset);
      segments_ = static_cast<std::size_t>((size + kSegmentSize - 1) / kSegmentSize);
      data_.assign(static_cast<std::size_t>(size), '\0');
      have_.assign(segments_, false);
      next_seg_ = 0;
      set_up_ = true;
      finished_ = false;
      finish_.reset();
      return;
    }
    case kCmdWrite:
      if (check.repeat) return;  // stored the first time
      std::copy(inflated_.begin(), inflated_.end(),
                data_.begin() + static_cast<std::ptrdiff_t>(frame.fields.seg * kSegmentSize));
      have_[frame.fields.seg] = true;
      next_seg_ = frame.fields.seg + 1u;
      return;
    default:
      finished_ = true;
      finish_ = pending_finish_;
      return;
  }
}

void DownloadSession::Answer(std::uint8_t cmd, std::uint8_t code, std::uint16_t seg,
                             std::string_view body, const std::optional<FrameFault>& fault) {
  std::string frame = BuildTerminalFrame(cmd, code, seg, body);
  std::string line =
      "response " + Letter(cmd) + " code=" + Hex(code) + " seg=" + std::to_string(seg);
  if (fault) {
    line += " fault=" + std::string(FaultName(fault->kind));
    if (fault->kind == FaultKind::kBadCrc) frame[kFrameHeadCrcOffset] ^= 0x01;
  }
  sink_.Log(line);
  sink_.Send(frame);
}

std::size_t DownloadSession::InOrderBytes() const {
  const auto first_missing = std::find(have_.begin(), have_.end(), false);
  const auto whole = static_cast<std::size_t>(first_missing - have_.begin());
  return std::min(whole * kSegmentSize, data_.size());
}

TransferSummary DownloadSession::Summary() const {
  TransferSummary s;
  s.complete = finished_;
  s.frames = frames_;
  s.resends = resends_;
  s.refused = refused_;
  s.stray_bytes = receiver_.stray_bytes();
  s.mode = set_up_ ? mode_ : -1;
  s.segments = static_cast<int>(segments_);
  s.bytes = InOrderBytes();
  s.crc32 = Crc32Of(std::string_view(data_).substr(0, s.bytes));
  s.finish = finish_;
  return s;
}

}  // namespace kvx::sim
