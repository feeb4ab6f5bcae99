// Engine tests on virtual time: a recording front end, a scripted KVX-01 on a fake serial port,
// and a fixture that wires both to a CUpgradeWorker running on the test thread.
//
// Threads: everything runs on the test thread except the terminal's replies, which the fake port
// calls on CCom's writer thread; the terminal guards its script and its records with its own
// mutex. Settle() lets every write, reply and posted message run to rest without moving time;
// AdvanceBy() moves the ManualClock one timer expiry at a time and settles after each, so a reply
// to a command sent by an expiry is handled before the next expiry is due.
//
// Lifetimes: the fixture declares the terminal before the worker, so the terminal's callback stays
// valid while the worker's destructor lets pending writes finish.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/engine_reports.h"
#include "engine/timer_ids.h"
#include "engine/upgrade_worker.h"
#include "mkimage/sample_image.h"
#include "platform/fake_serial_device.h"
#include "platform/profile_store.h"
#include "platform/serial_port_source.h"
#include "platform/string_table.h"
#include "protocol/frame.h"
#include "protocol/frame_format.h"
#include "protocol/result_codes.h"
#include "support/serial_quiescence.h"
#include "support/temp_folder.h"

namespace kvx::test {

// ---------------------------------------------------------------------------------------------
// The front end: records every message the engine posts or sends to it, answers questions.
// It shares the engine's loop, so a send reaches it at once while a post waits until the loop
// runs: the recorded order tells the two deliveries apart.

class RecordingFrontEnd final : public Window, public EngineReports {
 public:
  // A report as the engine made it, with its typed arguments.
  struct Message {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::string port;        // WM_USER_PORT_SELECTED, WM_USER_PORT_ACCESS_DENIED
    std::int32_t value = 0;  // WM_USER_PORT_SELECTED: the baud; WM_USER_PORT_ERROR: the check

    bool operator==(const Message&) const = default;
  };

  explicit RecordingFrontEnd(MessageLoop& loop) : Window(loop) {}

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (const auto result = DispatchEngineReport(*this, msg, wParam, lParam)) return *result;
    messages.push_back({msg, wParam, lParam, {}, 0});
    return 0;
  }

  void OnThreadStart() override { Record(WM_USER_THREAD_START); }
  void OnThreadEnd() override { Record(WM_USER_THREAD_END); }
  void OnUpgradeEnd(int string_id) override { Record(WM_USER_END, 0, string_id); }
  void OnProgressSetup(std::uint64_t count, int part) override {
    Record(WM_USER_PROG_SETUP, static_cast<WPARAM>(count), part);
  }
  void OnProgress(std::int64_t position) override {
    Record(WM_USER_PROG_PROC, 0, static_cast<LPARAM>(position));
  }
  void OnButtonControl(bool enable, int string_id) override {
    Record(WM_USER_BTN_CTRL, enable ? BTN_ENABLE : BTN_DISABLE, string_id);
  }
  void OnStatus(int string_id) override { Record(WM_USER_STATIC_LOG_CTRL, 0, string_id); }
  void OnPortSelected(const std::string& port, std::int32_t baud) override {
    Record(WM_USER_PORT_SELECTED, 0, 0, port, baud);
  }
  LRESULT OnDeviceCount(std::uint64_t count) override {
    Record(WM_USER_DEVICE_COUNT, static_cast<WPARAM>(count), 0);
    return 0;
  }
  LRESULT OnAsk(int string_id) override {
    Record(WM_USER_ASK, 0, string_id);
    return ask_answer;
  }
  void OnPortError(std::int32_t check) override { Record(WM_USER_PORT_ERROR, 0, 0, "", check); }
  void OnPortAccessDenied(const std::string& device, int error) override {
    Record(WM_USER_PORT_ACCESS_DENIED, 0, error, device);
  }
  void OnSync(bool run_active) override { Record(WM_USER_SYNC, run_active ? 1u : 0u, 0); }

  // Messages with id `msg`, in arrival order.
  std::vector<Message> Of(UINT msg) const {
    std::vector<Message> found;
    for (const Message& m : messages) {
      if (m.msg == msg) found.push_back(m);
    }
    return found;
  }
  // lParam of every WM_USER_BTN_CTRL with BTN_ENABLE: 0 for a plain enable, else a message id.
  std::vector<LPARAM> Enables() const {
    std::vector<LPARAM> ids;
    for (const Message& m : Of(WM_USER_BTN_CTRL)) {
      if (m.wParam == BTN_ENABLE) ids.push_back(m.lParam);
    }
    return ids;
  }
  // The ids of the operator messages shown (BTN_ENABLE with an id), in arrival order.
  std::vector<LPARAM> OperatorMessages() const {
    std::vector<LPARAM> ids;
    for (LPARAM id : Enables()) {
      if (id != 0) ids.push_back(id);
    }
    return ids;
  }
  // lParam of every WM_USER_ASK.
  std::vector<LPARAM> Questions() const {
    std::vector<LPARAM> ids;
    for (const Message& m : Of(WM_USER_ASK)) ids.push_back(m.lParam);
    return ids;
  }

  LRESULT ask_answer = IDYES;
  std::vector<Message> messages;

 private:
  void Record(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, std::string port = {},
              std::int32_t value = 0) {
    messages.push_back({msg, wParam, lParam, std::move(port), value});
  }
};

inline std::ostream& operator<<(std::ostream& out, const RecordingFrontEnd::Message& m) {
  return out << "{0x" << std::hex << m.msg << std::dec << ", " << m.wParam << ", " << m.lParam
             << ", \"" << m.port << "\", " << m.value << "}";
}

// ---------------------------------------------------------------------------------------------
// Frames as the terminal sees and makes them.

inline std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
inline std::uint64_t ReadLe64(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint64_t>(ReadLe32(bytes, at)) |
         static_cast<std::uint64_t>(ReadLe32(bytes, at + 4)) << 32;
}
inline void PutLe32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One frame the host wrote, as taken off the line.
struct HostFrame {
  std::uint8_t cmd = 0;
  std::uint8_t code = 0;
  std::uint16_t seg = 0;
  std::uint32_t body_length = 0;  // Body
  std::uint32_t raw_length = 0;   // R_Body
  bool head_crc_ok = false;
  bool etx_ok = false;
  std::vector<std::uint8_t> body;
  std::vector<std::uint8_t> bytes;  // the whole frame
};

// A frame from the terminal: head (with its CRC), body and ETX; Body = R_Body = body size.
inline std::vector<std::uint8_t> TerminalFrame(std::uint8_t cmd, std::uint8_t code,
                                               std::uint16_t seg,
                                               std::span<const std::uint8_t> body = {}) {
  std::vector<std::uint8_t> frame(kFrameHeadSize);
  const auto length = static_cast<std::uint32_t>(body.size());
  WriteFrameHead(std::span<std::uint8_t, kFrameHeadSize>(frame.data(), kFrameHeadSize), cmd, code,
                 seg, length, length);
  frame.insert(frame.end(), body.begin(), body.end());
  frame.push_back(ETX);
  return frame;
}

// What the terminal tells in its setup response.
struct SetupAnswer {
  std::optional<std::uint8_t> mode;  // none: echo the mode sent
  std::string bsp_version = "SFQAABCDEFG V2.0.1 BSP";
  DateRecord bsp_date = MakeDateRecord(2023, 11, 2, 9, 41, 7);
  std::string tet_version = "OKR_TET_V1.4";
  DateRecord tet_date = MakeDateRecord(2024, 2, 29, 23, 59, 58);
  bool break_body_crc = false;
};

// The 111-byte body of a setup response, with its CRC.
inline std::vector<std::uint8_t> SetupResponseBody(std::uint8_t mode, const SetupAnswer& answer) {
  std::vector<std::uint8_t> body(kSetupResponseBodySize, 0);
  body[kResponseModeOffset] = mode;
  std::memcpy(&body[kBspVersionOffset], answer.bsp_version.data(),
              std::min(answer.bsp_version.size(), kBspVersionSize));
  const auto bsp = PackDate(answer.bsp_date);
  std::copy(bsp.begin(), bsp.end(), body.begin() + kBspDateOffset);
  std::memcpy(&body[kTetVersionOffset], answer.tet_version.data(),
              std::min(answer.tet_version.size(), kTetVersionSize));
  const auto tet = PackDate(answer.tet_date);
  std::copy(tet.begin(), tet.end(), body.begin() + kTetDateOffset);
  std::memcpy(&body[91], "not read by host", 16);
  std::uint32_t crc = Crc32(std::span(body).first(kSetupResponseCrcOffset));
  if (answer.break_body_crc) crc ^= 1;
  PutLe32(&body[kSetupResponseCrcOffset], crc);
  return body;
}

// ---------------------------------------------------------------------------------------------
// The terminal: answers AT commands from a script and download frames from a responder.

// The replies of a KVX-01 in normal mode whose versions let the default sample image in: boot
// major equal (main upgrade), stack and MMI older than the image, NV equal.
inline constexpr std::string_view kHwVerReply = "+HWVER: SFQAABCDEFG V2.0.1\r\nOK\r\n";
inline constexpr std::string_view kGgmrReply = "+GGMR: JQ_SAT_V3.1.0 20240115\r\nOK\r\n";
inline constexpr std::string_view kNvReply = "NV_VER1.02\r\n";
inline constexpr std::string_view kSysVerReply = "OK+SYSVer:KVX_2.9.0_ML_VM\r\n";

inline constexpr std::string_view kLinkTest115200 = "AT+CEXT=1\r";
inline constexpr std::string_view kLinkTest460800 = "AT\r";
inline constexpr std::string_view kHwVerCommand = "at+hwver\r";
inline constexpr std::string_view kGgmrCommand = "at+ggmr\r";
inline constexpr std::string_view kNvCheckCommand = "AT+MMI=\"NV_VER_CHECK\"\r";
inline constexpr std::string_view kSysVerCommand = "AT+SYSVer\r";
inline constexpr std::string_view kDownloadCommand = "AT+MMI=\"USB_DOWNLOAD\"\r";
inline constexpr std::string_view kUpappCommand = "AT+UPAPP\r";
inline constexpr std::string_view kUpgradeCommand = "AT+UPGRADE\r";

class ScriptedTerminal {
 public:
  // A command as the terminal took it: its bytes, the line's rate and the virtual time.
  struct Command {
    std::string text;
    std::uint32_t baud = 0;
    std::int64_t at_ms = 0;
  };
  // The reply to a host frame: bytes to deliver, or nothing (silence).
  using FrameResponder = std::function<std::optional<std::vector<std::uint8_t>>(const HostFrame&)>;

  ScriptedTerminal(std::shared_ptr<FakeSerialPort> port, const Clock& clock)
      : port_(std::move(port)), clock_(clock) {
    RestoreDefaults();
    port_->SetTerminal([this](std::span<const std::uint8_t> bytes) { OnWrite(bytes); });
  }
  ~ScriptedTerminal() { port_->SetTerminal({}); }

  ScriptedTerminal(const ScriptedTerminal&) = delete;
  ScriptedTerminal& operator=(const ScriptedTerminal&) = delete;

  // A healthy terminal again, as if freshly plugged in: the default script, link tests at both
  // rates, a restart at the download request and default frame replies. The records stay.
  void RestoreDefaults() {
    {
      std::lock_guard guard(mutex_);
      script_.clear();
      link_rates_ = {115200, 460800};
      restart_ = true;
      setup_answer_ = {};
      responder_ = {};
      pending_.clear();
    }
    Answer(std::string(kLinkTest115200), {"OK\r\n"});
    Answer(std::string(kLinkTest460800), {"OK\r\n"});
    Answer(std::string(kHwVerCommand), {std::string(kHwVerReply)});
    Answer(std::string(kGgmrCommand), {std::string(kGgmrReply)});
    Answer(std::string(kNvCheckCommand), {std::string(kNvReply)});
    Answer("AT+MMI=\"NEW_NVM_VERSION\",1.02\r", {"OK\r\n"});
    Answer(std::string(kSysVerCommand), {std::string(kSysVerReply)});
    Answer(std::string(kDownloadCommand), {"OK\r\n"});
    Answer(std::string(kUpappCommand), {"+UPAPP\r\n"});
    Answer(std::string(kUpgradeCommand), {"+START\r\n"});
  }

  // Replies to `command` (its bytes, CR included): the first reply the first time, and so on;
  // the last one repeats. An empty reply is silence; a command without a script is not answered.
  void Answer(const std::string& command, std::vector<std::string> replies) {
    std::lock_guard guard(mutex_);
    script_[command] = Script{std::move(replies), 0};
  }
  void Silence(std::string_view command) { Answer(std::string(command), {""}); }

  // The link tests are answered only at these rates (both by default).
  void AnswerLinkTestAt(std::set<std::uint32_t> rates) {
    std::lock_guard guard(mutex_);
    link_rates_ = std::move(rates);
  }
  // Whether the terminal drops off the bus (its device fails with EIO) right after it has
  // acknowledged the download-mode request, as a KVX-01 restarts into download mode.
  void RestartOnDownloadRequest(bool restart) {
    std::lock_guard guard(mutex_);
    restart_ = restart;
  }
  void SetSetupAnswer(SetupAnswer answer) {
    std::lock_guard guard(mutex_);
    setup_answer_ = std::move(answer);
  }
  // Replaces the frame replies; DefaultReply stays available to the responder.
  void SetFrameResponder(FrameResponder responder) {
    std::lock_guard guard(mutex_);
    responder_ = std::move(responder);
  }

  // What a healthy terminal answers: 's' with the setup answer, 'w' with the segment number,
  // 'f'; every one with RC_OK.
  std::optional<std::vector<std::uint8_t>> DefaultReply(const HostFrame& frame) const {
    SetupAnswer answer;
    {
      std::lock_guard guard(mutex_);
      answer = setup_answer_;
    }
    switch (frame.cmd) {
      case kCmdSetup: {
        const std::uint8_t mode =
            answer.mode.value_or(frame.body.empty() ? std::uint8_t{0} : frame.body[0]);
        return TerminalFrame(kCmdSetupResponse, RC_OK, 0, SetupResponseBody(mode, answer));
      }
      case kCmdWrite:
        return TerminalFrame(kCmdWriteResponse, RC_OK, frame.seg);
      case kCmdFinish:
        return TerminalFrame(kCmdFinishResponse, RC_OK, 0);
      default:
        return std::nullopt;
    }
  }

  std::vector<Command> commands() const {
    std::lock_guard guard(mutex_);
    return commands_;
  }
  // The texts of commands(), in order.
  std::vector<std::string> command_texts() const {
    std::vector<std::string> texts;
    for (const Command& c : commands()) texts.push_back(c.text);
    return texts;
  }
  std::vector<HostFrame> frames() const {
    std::lock_guard guard(mutex_);
    return frames_;
  }
  // Frames with command letter `cmd`.
  std::vector<HostFrame> frames(std::uint8_t cmd) const {
    std::vector<HostFrame> found;
    for (HostFrame& f : frames()) {
      if (f.cmd == cmd) found.push_back(std::move(f));
    }
    return found;
  }

 private:
  struct Script {
    std::vector<std::string> replies;
    std::size_t next = 0;
  };

  // Writer thread.
  void OnWrite(std::span<const std::uint8_t> bytes) {
    std::vector<std::vector<std::uint8_t>> replies;
    bool restart = false;
    {
      std::lock_guard guard(mutex_);
      pending_.insert(pending_.end(), bytes.begin(), bytes.end());
      for (;;) {
        if (pending_.empty()) break;
        if (pending_[0] == SYN) {
          if (!TakeFrameLocked()) break;
          continue;
        }
        const auto cr = std::find(pending_.begin(), pending_.end(), std::uint8_t{'\r'});
        if (cr == pending_.end()) break;
        std::string command(pending_.begin(), cr + 1);
        pending_.erase(pending_.begin(), cr + 1);
        std::string reply = ReplyLocked(command);
        if (!reply.empty()) {
          if (command == kDownloadCommand && restart_ && reply.starts_with("OK")) restart = true;
          replies.emplace_back(reply.begin(), reply.end());
        }
      }
    }
    // Frames are answered outside the lock: a responder may ask for DefaultReply.
    for (const HostFrame& frame : TakeUnanswered()) {
      FrameResponder responder;
      {
        std::lock_guard guard(mutex_);
        responder = responder_;
      }
      auto reply = responder ? responder(frame) : DefaultReply(frame);
      if (reply) replies.push_back(std::move(*reply));
    }
    for (const auto& reply : replies) port_->Deliver(reply);
    if (restart) port_->InjectWaitError(EIO);
  }

  std::string ReplyLocked(const std::string& command) {
    const std::uint32_t baud = port_->settings().baud_rate;
    commands_.push_back(
        {command, baud,
         std::chrono::duration_cast<std::chrono::milliseconds>(clock_.Now().time_since_epoch())
             .count()});
    const bool link_test = command == kLinkTest115200 || command == kLinkTest460800;
    if (link_test && !link_rates_.contains(baud)) return {};
    const auto it = script_.find(command);
    if (it == script_.end() || it->second.replies.empty()) return {};
    Script& script = it->second;
    const std::string& reply = script.replies[std::min(script.next, script.replies.size() - 1)];
    ++script.next;
    return reply;
  }

  // Takes one whole frame off the front of pending_ into frames_; false when it is incomplete.
  bool TakeFrameLocked() {
    if (pending_.size() < kFrameHeadSize) return false;
    const std::span<const std::uint8_t> head(pending_.data(), kFrameHeadSize);
    const std::uint32_t n = ReadLe32(head, kFrameBodyLengthOffset);
    if (n > kMaxFrameBody) {
      ADD_FAILURE() << "host frame with a body of " << n << " bytes";
      pending_.clear();
      return false;
    }
    if (pending_.size() < kFrameOverhead + n) return false;
    HostFrame frame;
    frame.bytes.assign(pending_.begin(), pending_.begin() + kFrameOverhead + n);
    pending_.erase(pending_.begin(), pending_.begin() + kFrameOverhead + n);
    const std::span<const std::uint8_t> all(frame.bytes);
    frame.cmd = all[kFrameCmdOffset];
    frame.code = all[kFrameCodeOffset];
    frame.seg = static_cast<std::uint16_t>(all[kFrameSegOffset] | all[kFrameSegOffset + 1] << 8);
    frame.body_length = n;
    frame.raw_length = ReadLe32(all, kFrameRawLengthOffset);
    frame.head_crc_ok =
        Crc32(all.subspan(kHeadCrcStart, kHeadCrcLength)) == ReadLe32(all, kFrameHeadCrcOffset);
    frame.etx_ok = all[kFrameHeadSize + n] == ETX;
    frame.body.assign(all.begin() + kFrameHeadSize, all.begin() + kFrameHeadSize + n);
    frames_.push_back(std::move(frame));
    return true;
  }

  std::vector<HostFrame> TakeUnanswered() {
    std::lock_guard guard(mutex_);
    std::vector<HostFrame> fresh(frames_.begin() + static_cast<std::ptrdiff_t>(answered_),
                                 frames_.end());
    answered_ = frames_.size();
    return fresh;
  }

  const std::shared_ptr<FakeSerialPort> port_;
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::map<std::string, Script> script_;
  std::set<std::uint32_t> link_rates_{115200, 460800};
  bool restart_ = true;
  SetupAnswer setup_answer_;
  FrameResponder responder_;
  std::vector<std::uint8_t> pending_;
  std::vector<Command> commands_;
  std::vector<HostFrame> frames_;
  std::size_t answered_ = 0;
};

// ---------------------------------------------------------------------------------------------
// A row of a table of cases prints as its reason in test output (bring it into the test file's
// namespace with a using-declaration, where argument-dependent lookup finds it).
template <typename Case>
requires requires(const Case& c) {
  std::string_view(c.reason);
}
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.reason;
}

// ---------------------------------------------------------------------------------------------
// The fixture.

// A trace line without its time stamp and marker.
struct TraceEntry {
  std::string text;
  COLORREF colour = kTraceBlack;
  int kind = LOG_TEXT;
};

class EngineTest : public ::testing::Test {
 protected:
  static constexpr const char* kPortName = "ttyUSB0";
  // Main upgrade of the default image: 3 whole segments after the boot region and 100 bytes.
  static constexpr std::size_t kDefaultImageSize = kSampleBootRegionSize + 3 * 65536 + 100;

  EngineTest() { UseImage(DefaultImageSpec()); }
  ~EngineTest() override { Settle(); }

  static SampleImageSpec DefaultImageSpec() {
    SampleImageSpec spec;
    spec.size = kDefaultImageSize;
    return spec;
  }

  // Writes the image to the test's folder and makes it the engine's firmware file.
  void UseImage(const SampleImageSpec& spec) {
    image = MakeSampleImage(spec);
    const std::string path = folder.path() + "/image.bin";
    std::string error;
    ASSERT_TRUE(WriteSampleFile(path, image, error)) << error;
    worker.SetFilePath(path);
  }

  // Lets every write, reply and posted message run until nothing moves; time stands still.
  void Settle() {
    do {
      if (!WaitForSerialQuiescence(worker.com(), *port)) {
        ADD_FAILURE() << "the fake port did not settle";
        return;
      }
    } while (loop.RunUntilIdle() > 0);
  }

  // Moves virtual time on by `ms`, firing timers at their due times and settling after each.
  void AdvanceBy(std::int64_t ms) {
    const Clock::TimePoint target = clock.Now() + Milliseconds(ms);
    Settle();
    for (auto due = loop.NextTimerDue(); due && *due <= target; due = loop.NextTimerDue()) {
      loop.FastForwardBy(*due - clock.Now());
      Settle();
    }
    loop.FastForwardBy(target - clock.Now());
    Settle();
  }

  std::int64_t NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now().time_since_epoch())
        .count();
  }

  void Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    worker.Ref().Post(msg, wParam, lParam);
    Settle();
  }

  // The configuration file's port, as the main window passes it at start-up.
  void SelectPort() { Post(WM_USER_PORT_CONFIG, reinterpret_cast<WPARAM>(&port_name)); }

  // Selects the port, forgets what the front end got so far, and presses Start.
  void StartRun(LPARAM options = 0) {
    SelectPort();
    front_end.messages.clear();
    Post(WM_USER_UPGRADE_START, 0, options);
  }

  bool TimerRunning(std::uintptr_t id) const { return loop.IsTimerRunning(worker, id); }

  std::vector<TraceEntry> Trace(std::size_t first = 0) {
    std::vector<TraceEntry> entries;
    for (const TraceLine& line : worker.log_window().store().Lines(first)) {
      constexpr std::size_t kStampSize = 25;  // "[YYYY/MM/DD hh:mm:ss.mmm]"
      const char* marker = TraceMarker(line.kind);
      const std::size_t skip = kStampSize + (marker ? std::strlen(marker) : 0);
      entries.push_back(
          {line.text.size() >= skip ? line.text.substr(skip) : line.text, line.colour, line.kind});
    }
    return entries;
  }
  // How many trace lines read `text` exactly (a line end is added to texts without one).
  std::size_t TraceCount(std::string_view text, std::size_t first = 0) {
    std::size_t count = 0;
    for (const TraceEntry& e : Trace(first)) count += e.text == text ? 1 : 0;
    return count;
  }
  bool TraceHas(std::string_view text, COLORREF colour, std::size_t first = 0) {
    for (const TraceEntry& e : Trace(first)) {
      if (e.text == text && e.colour == colour) return true;
    }
    return false;
  }
  // The texts of the transmit lines (kind 1), in order.
  std::vector<std::string> TransmitTrace() {
    std::vector<std::string> texts;
    for (const TraceEntry& e : Trace()) {
      if (e.kind == LOG_TX) texts.push_back(e.text);
    }
    return texts;
  }
  std::size_t TraceSize() { return worker.log_window().store().size(); }

  // The cable-lost boxes ("caption|text") shown so far. The box runs on a thread of its own, so
  // its record is shared with that thread and may outlive the fixture.
  struct CableWarnings {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> shown;
  };

  // Waits up to 10 s for `count` boxes, and returns those shown.
  std::vector<std::string> WaitForCableWarnings(std::size_t count) {
    std::unique_lock lock(warnings_->mutex);
    warnings_->cv.wait_for(lock, std::chrono::seconds(10),
                           [&] { return warnings_->shown.size() >= count; });
    return warnings_->shown;
  }

  EngineHooks RecordingHooks() {
    EngineHooks hooks;
    hooks.show_cable_lost_warning = [warnings = warnings_](const std::string& caption,
                                                           const std::string& text) {
      std::lock_guard guard(warnings->mutex);
      warnings->shown.push_back(caption + "|" + text);
      warnings->cv.notify_all();
    };
    return hooks;
  }

  std::shared_ptr<CableWarnings> warnings_ = std::make_shared<CableWarnings>();
  ManualClock clock;
  MessageLoop loop{clock};
  RecordingFrontEnd front_end{loop};
  FakeSerialDeviceOpener opener;
  std::shared_ptr<FakeSerialPort> port = opener.AddPort(std::string("/dev/") + kPortName);
  FakeSerialPortSource ports{{kPortName}};
  MemoryProfileStore profile;
  EngineEnvironment environment{clock, opener, ports, profile, RecordingHooks()};
  ScriptedTerminal terminal{port, clock};
  TempFolder folder;
  std::string port_name = kPortName;  // outlives every WM_USER_PORT_CONFIG posted
  std::vector<std::uint8_t> image;
  CUpgradeWorker worker{loop, front_end.Ref(), environment};
};

}  // namespace kvx::test
