#include "serial/ccom.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/printf_format.h"
#include "platform/trace.h"
#include "platform/user_messages.h"
#include "serial/serial_ports.h"

namespace kvx {
namespace {

constexpr const char* kWarningCaption = "Warning";
constexpr const char* kCableLostText =
    "Cable connection lost!\n Turn off and on modem and Retry again";

// Bytes taken from the device per read; the reader drains up to the overflow mark per event.
constexpr std::size_t kReadChunk = 16384;

KVX_PRINTF_FORMAT(1, 2) std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

Parity ParityFromWord(const std::string& word) {
  if (word == "NONE") return Parity::kNone;
  if (word == "EVEN") return Parity::kEven;
  if (word == "ODD") return Parity::kOdd;
  return Parity::kUnchanged;
}

// Set once by whoever finishes a piece of work another thread waits for.
struct Completion {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;

  void Finish() {
    {
      std::lock_guard guard(mutex);
      done = true;
    }
    cv.notify_all();
  }
};

}  // namespace

// One connection: from PortOpen to the end of its close. Owned by CCom while current and by its
// close thread while closing, so a close that outlives its time limit still has all it needs.
struct CComSession {
  CComSession(SerialDeviceOpener& opener_in, RxRing& ring_in, WindowRef owner_in,
              std::string name_in, SerialSettings settings_in)
      : opener(opener_in),
        ring(ring_in),
        owner(std::move(owner_in)),
        name(std::move(name_in)),
        path(SerialDevicePath(name)),
        settings(settings_in) {}

  ~CComSession() { Shutdown(); }

  // Reader thread.
  void ReaderMain();
  void Drain(SerialDevice& device);
  void Post(WPARAM event, LPARAM value);
  void Log(const std::string& text);
  bool Reporting();
  void ReaderFinished();

  // Writer thread.
  void WriterMain();

  // Any thread: from now on nothing reaches the ring or the owner; with `logs`, no log either.
  void StopReporting(bool logs);
  // Close thread (or the owner as a last resort): stops both threads and closes the device.
  void Shutdown();

  SerialDeviceOpener& opener;
  RxRing& ring;  // touched only under `gate` while `reporting`: never after the close began
  const WindowRef owner;
  const std::string name;
  const std::string path;
  const SerialSettings settings;

  std::mutex gate;
  bool reporting = true;
  bool logging = true;

  std::mutex mutex;  // guards what follows
  std::condition_variable cv;
  std::unique_ptr<SerialDevice> device;  // published by the reader once opened
  bool configured = false;               // the line settings took: writes and baud changes may go
  bool open_failed = false;
  bool stopping = false;
  bool reader_busy = true;  // false while the reader waits for events, and once it has ended
  std::deque<std::vector<std::uint8_t>> writes;
  bool writing = false;
  std::thread reader;
  std::thread writer;

  std::array<std::uint8_t, kReadChunk> read_buffer{};  // reader thread only
};

bool CComSession::Reporting() {
  std::lock_guard guard(gate);
  return reporting;
}

void CComSession::StopReporting(bool logs) {
  std::lock_guard guard(gate);
  reporting = false;
  if (logs) logging = false;
}

void CComSession::Post(WPARAM event, LPARAM value) {
  std::lock_guard guard(gate);
  if (reporting) owner.Post(WM_USER_COM_EVENT, event, value);
}

void CComSession::Log(const std::string& text) {
  {
    std::lock_guard guard(gate);
    if (!logging) return;
  }
  // Not under the gate: the owner may be closing this session, and serves the send meanwhile.
  owner.Send(WM_USER_LOG, reinterpret_cast<WPARAM>(&text), static_cast<LPARAM>(kTraceRed));
}

void CComSession::ReaderFinished() {
  {
    std::lock_guard guard(mutex);
    reader_busy = false;
  }
  cv.notify_all();
}

void CComSession::Drain(SerialDevice& device) {
  std::size_t total = 0;
  while (total < static_cast<std::size_t>(RxRing::kOverflow)) {
    const long n = device.Read(read_buffer);
    if (n <= 0) break;  // nothing more, or a failed read: the next wait reports a lost device
    const auto bytes =
        std::span<const std::uint8_t>(read_buffer.data(), static_cast<std::size_t>(n));
    {
      std::lock_guard guard(gate);
      if (reporting) ring.Append(bytes);
    }
    total += static_cast<std::size_t>(n);
  }
}

void CComSession::ReaderMain() {
  SerialOpenResult opened = opener.Open(path);
  if (!opened.device) {
    {
      std::lock_guard guard(mutex);
      open_failed = true;
    }
    Post(COM_EVT_OPEN, opened.error);
    Log(Format("%s Port open fail - CreateFile fail GetLastError[%d]\n",
               PortNameForTrace(name).c_str(), opened.error));
    ReaderFinished();
    return;
  }
  SerialDevice* port = nullptr;
  {
    std::lock_guard guard(mutex);
    if (!stopping) {
      device = std::move(opened.device);
      port = device.get();
    }
  }
  if (!port) {
    ReaderFinished();  // closed while opening: the device closes as this returns
    return;
  }
  if (const int error = port->Configure(settings); error != 0) {
    // The port stays open until PortClose.
    Post(COM_EVT_OPEN, error);
    Log(Format("%s Serial setup Fail - SetCommState fail GetLastError[%d] ",
               PortNameForTrace(name).c_str(), error));
    ReaderFinished();
    return;
  }
  {
    std::lock_guard guard(mutex);
    configured = true;
  }
  Post(COM_EVT_OPEN, 0);

  // Each event is handled as soon as poll() reports it: no pause to let bytes gather, which would
  // add its length to every reply's latency.
  for (;;) {
    {
      std::lock_guard guard(mutex);
      if (stopping) break;
      reader_busy = false;
    }
    cv.notify_all();
    const SerialEvents events = port->WaitEvents();
    {
      std::lock_guard guard(mutex);
      reader_busy = true;
    }
    if (events.interrupted || !Reporting()) break;
    if (events.dsr_changed) Post(COM_EVT_DSR, events.dsr_on ? MS_DSR_ON : 0);
    if (events.rx) {
      Drain(*port);
      Post(COM_EVT_RXDATA, 0);
    }
    if (events.error != 0) {
      // A failed device does not come back: report it once and let go of it, which also frees
      // a write stuck on it.
      Post(COM_EVT_ERROR, events.error);
      port->Interrupt();
      break;
    }
  }
  ReaderFinished();
}

void CComSession::WriterMain() {
  std::unique_lock lock(mutex);
  for (;;) {
    cv.wait(lock, [this] { return stopping || !writes.empty(); });
    if (stopping) {
      writes.clear();
      cv.notify_all();
      return;
    }
    std::vector<std::uint8_t> data = std::move(writes.front());
    writes.pop_front();
    writing = true;
    SerialDevice* port = device.get();
    lock.unlock();
    port->Write(data);  // a failed write shows up as a missing reply
    lock.lock();
    writing = false;
    cv.notify_all();
  }
}

void CComSession::Shutdown() {
  StopReporting(false);
  SerialDevice* port = nullptr;
  {
    std::lock_guard guard(mutex);
    stopping = true;
    port = device.get();
  }
  cv.notify_all();
  if (port) port->Interrupt();
  if (reader.joinable()) reader.join();
  if (writer.joinable()) writer.join();
  std::unique_ptr<SerialDevice> closing;
  {
    std::lock_guard guard(mutex);
    closing = std::move(device);
  }
  closing.reset();  // may block while the driver lets go of the port
}

CCom::CCom(SerialDeviceOpener& opener, Clock& clock) : m_Opener(opener), m_Clock(clock) {}

CCom::~CCom() {
  Shutdown();
}

void CCom::SetOwner(const Window& owner) {
  m_hOwner = owner.Ref();
  m_pOwnerLoop = dynamic_cast<MessageLoop*>(&owner.queue());
}

void CCom::PortReset() {
  if (m_pSession) CloseSession();
  m_Rx.Reset();
  m_nRxMode = RX_MODE_LINE;
}

int CCom::PortOpen(const std::string& port, std::uint32_t baud_rate, int byte_size,
                   const std::string& parity, int stop_bits) {
  if (m_pSession && CloseSession() == 0) return 0;
  m_strPort = port;
  m_nBaudRate = baud_rate;
  m_nByteSize = static_cast<std::uint32_t>(byte_size);
  m_strParity = parity;
  m_nStopBits = stop_bits;
  m_Settings = SerialSettings{baud_rate, static_cast<std::uint8_t>(byte_size & 0xff),
                              ParityFromWord(parity), stop_bits};
  auto session = std::make_shared<CComSession>(m_Opener, m_Rx, m_hOwner, port, m_Settings);
  try {
    session->reader = std::thread([s = session.get()] { s->ReaderMain(); });
  } catch (const std::system_error&) {
    return 0;
  }
  m_pSession = std::move(session);
  return 1;
}

void CCom::PortWrite(std::span<const std::uint8_t> data) {
  CComSession* s = m_pSession.get();
  if (!s || data.empty()) return;
  std::lock_guard guard(s->mutex);
  if (!s->configured || s->stopping) return;  // not open: the write fails at once
  if (!s->writer.joinable()) {
    try {
      s->writer = std::thread([s] { s->WriterMain(); });
    } catch (const std::system_error&) {
      return;
    }
  }
  s->writes.emplace_back(data.begin(), data.end());
  s->cv.notify_all();
}

void CCom::PortWrite(std::string_view data) {
  PortWrite(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

int CCom::ApplyBaudRate(std::uint32_t baud_rate) {
  SerialDevice* port = nullptr;
  if (m_pSession) {
    std::lock_guard guard(m_pSession->mutex);
    if (m_pSession->configured) port = m_pSession->device.get();
  }
  if (!port) return EBADF;
  SerialSettings settings = m_Settings;
  settings.baud_rate = baud_rate;
  // Only this thread closes the device, so it stays valid while this call runs.
  const int error = port->Configure(settings);
  if (error == 0) {
    m_Settings = settings;
    m_nBaudRate = baud_rate;
  }
  return error;
}

bool CCom::PortModifyBaudrate(std::uint32_t baud_rate) {
  int error = ApplyBaudRate(baud_rate);
  if (error != 0) {
    m_Clock.Sleep(kBaudRetryDelay);
    error = ApplyBaudRate(baud_rate);
  }
  if (error == 0) return true;
  const std::string text =
      Format("[%d] PortModifyBaudrate fail - SetCommState fail GetLastError[%d] ",
             static_cast<int>(baud_rate), error);
  PortClose();
  SendLog(text);
  return false;
}

int CCom::PortClose() {
  if (m_pSession && CloseSession() == 0) return 0;
  m_Rx.Reset();
  m_nRxMode = RX_MODE_LINE;
  return 1;
}

int CCom::CloseSession() {
  std::shared_ptr<CComSession> session = m_pSession;
  auto closed = std::make_shared<Completion>();
  const Clock::TimePoint deadline = m_Clock.Now() + kCloseLimit;
  std::thread closer;
  try {
    closer = std::thread([session, closed] {
      session->Shutdown();
      closed->Finish();
    });
  } catch (const std::system_error&) {
    return 0;
  }
  // Settled here, not on the close thread: whatever happens to the close, this connection no
  // longer touches the ring or the owner's queue once PortClose returns.
  session->StopReporting(false);
  const bool finished = WaitServingSends(
      closed->mutex, closed->cv, [&closed] { return closed->done; }, deadline);
  if (finished) {
    closer.join();
  } else {
    closer.detach();  // it owns the session and finishes on its own
  }
  m_pSession.reset();
  return 1;
}

bool CCom::IsOpen() const {
  if (!m_pSession) return false;
  std::lock_guard guard(m_pSession->mutex);
  return !m_pSession->open_failed && !m_pSession->stopping;
}

void CCom::SuspendReader() {
  if (m_pSession) m_pSession->StopReporting(true);
}

void CCom::ShowCableLostWarning() {
  if (!m_WarningHook) return;
  try {
    std::thread([hook = m_WarningHook] { hook(kWarningCaption, kCableLostText); }).detach();
  } catch (const std::system_error&) {
    // No thread, no box: the trace still records the lost cable.
  }
}

void CCom::Shutdown() {
  if (!m_pSession) return;
  if (PortClose() == 0) {
    m_pSession->Shutdown();  // no close thread to be had: close here, without a limit
    m_pSession.reset();
  }
}

void CCom::WaitUntilIdle() {
  if (!m_pSession) return;
  CComSession& s = *m_pSession;
  WaitServingSends(
      s.mutex, s.cv, [&s] { return !s.reader_busy && s.writes.empty() && !s.writing; },
      std::nullopt);
}

void CCom::SendLog(const std::string& text) const {
  m_hOwner.Send(WM_USER_LOG, reinterpret_cast<WPARAM>(&text), static_cast<LPARAM>(kTraceRed));
}

bool CCom::WaitServingSends(std::mutex& mutex, std::condition_variable& cv,
                            const std::function<bool()>& done,
                            std::optional<Clock::TimePoint> deadline) {
  auto wait = [&] {
    std::unique_lock lock(mutex);
    if (deadline) return m_Clock.WaitFor(lock, cv, *deadline - m_Clock.Now(), done);
    cv.wait(lock, done);
    return true;
  };
  MessageLoop* loop = m_pOwnerLoop;
  if (!loop || !loop->IsCurrentThread()) return wait();
  // This thread must keep serving sends (the reader may be blocked in one), so a helper thread
  // does the wait and wakes the loop when it is over.
  std::atomic<bool> over{false};
  bool result = false;
  std::thread watcher;
  try {
    watcher = std::thread([&] {
      result = wait();
      over = true;
      loop->Wake();
    });
  } catch (const std::system_error&) {
    return wait();
  }
  loop->ServeSendsUntil([&over] { return over.load(); });
  watcher.join();
  return result;
}

}  // namespace kvx
