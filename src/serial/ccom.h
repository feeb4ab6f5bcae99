// CCom: the serial port to the terminal, with its reader thread, its writes and its receive ring.
//
// The owner (the engine) opens the port with PortOpen and hears about it through messages posted
// to its window: WM_USER_COM_EVENT with COM_EVT_OPEN (0 or the errno of the failed step),
// COM_EVT_RXDATA (bytes are in the ring), COM_EVT_DSR (MS_DSR_ON or 0) and COM_EVT_ERROR (errno;
// EIO when the device went away). Failures worth a trace line are sent to the same window as
// WM_USER_LOG in red. It takes received data as text lines or download frames, writes without
// waiting, changes the baud rate and closes the port, each close bounded to 2000 ms.
//
// Threads:
//   - Every member function is for the owner's thread (the engine thread), unless it says
//     otherwise. The object lives for the owner's whole life and is reused for every connection.
//   - One reader thread per PortOpen opens and configures the device, then waits for its events,
//     appends received bytes to the ring and posts the notifications. It sends WM_USER_LOG only
//     when an open fails, and each such send blocks it until the owner's thread has handled it.
//   - One writer thread per open port performs the writes in order, one at a time.
//   - Each close runs on a close thread of its own that stops the reader and writer and closes the
//     device; PortClose waits for it at most 2000 ms on the injected clock.
// Waits on the owner's thread (PortClose, WaitUntilIdle, Shutdown) keep handling messages that
// other threads send to the owner's loop, so the reader can never deadlock them with its log
// request. After PortClose or SuspendReader returns, that connection appends nothing more to the
// ring and posts nothing more to the owner. (The log request of an open that failed may still come
// after PortClose; none comes after SuspendReader.)
//
// Lifetimes: the opener and the clock must outlive this object and any close it had to give up
// on; the owner window's loop must outlive this object. The cable-lost warning hook runs on a
// thread of its own and must stay callable until it returns.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/serial_device.h"
#include "platform/window.h"
#include "serial/rx_ring.h"

namespace kvx {

struct CComSession;

// Receive framing, chosen by the engine.
inline constexpr int RX_MODE_LINE = 0;
inline constexpr int RX_MODE_FRAME = 1;

class CCom {
 public:
  static constexpr int kRxBufSize = RxRing::kSize;
  // A take into a buffer of this size is never cut short.
  static constexpr std::size_t kMaxTake = RxRing::kMaxTake;
  static constexpr Clock::Duration kCloseLimit = Milliseconds(2000);
  static constexpr Clock::Duration kBaudRetryDelay = Milliseconds(500);

  // Shows a message box with an OK button: caption "Warning" and the cable-lost text.
  using WarningHook = std::function<void(const std::string& caption, const std::string& text)>;

  // Starts closed, with an empty ring.
  CCom(SerialDeviceOpener& opener, Clock& clock);
  // Shutdown, if the owner has not called it.
  virtual ~CCom();

  CCom(const CCom&) = delete;
  CCom& operator=(const CCom&) = delete;

  // The window that gets the notifications and log requests. A PortOpen uses the owner set
  // before it.
  void SetOwner(const Window& owner);
  WindowRef owner() const { return m_hOwner; }

  // Empties the ring, forgets a half-received frame, sets the receive mode to lines and the line
  // end to LF. Meant for a closed port; a port still open is closed first.
  void PortReset();

  // Stores the settings and starts the reader thread, which opens "/dev/" + port (or port itself
  // when it starts with '/') and reports the outcome as COM_EVT_OPEN. parity: "NONE", "EVEN" or
  // "ODD" (other words keep the driver's parity); stop_bits: 1 or 2 (others keep the driver's).
  // Returns 1, or 0 when the reader thread could not be started (nothing will be posted then).
  // A port that is still open is closed first.
  int PortOpen(const std::string& port, std::uint32_t baud_rate, int byte_size,
               const std::string& parity, int stop_bits);

  // Queues a copy of `data` for the writer thread and returns at once; the caller's buffer may go
  // away immediately. Writes go out in order. Dropped unless the port is open and configured
  // (COM_EVT_OPEN 0 has been posted). Failures are not reported: the missing reply is.
  void PortWrite(std::span<const std::uint8_t> data);
  void PortWrite(std::string_view data);

  // Changes the rate of the open port; if the driver refuses, waits 500 ms and tries once more.
  // On a second refusal closes the port, sends the log request and returns false.
  bool PortModifyBaudrate(std::uint32_t baud_rate);

  // Closes the port: stops the reader and writer (abandoning a write in progress), closes the
  // device and resets (PortReset). Waits for that at most 2000 ms; a close that takes longer is
  // left to finish on its own and the state is reset all the same. Returns 1 once closed (also
  // when nothing was open); 0 when the close thread could not be started, and the port stays open.
  int PortClose();

  // Takes one text line or one download frame from the ring; see RxRing::GetLine and GetFrame.
  int PortGetLine(std::span<char> buffer) { return m_Rx.GetLine(buffer); }
  int PortGetFrame(std::span<std::uint8_t> buffer) { return m_Rx.GetFrame(buffer); }

  // RX_MODE_LINE after PortReset; the engine switches it.
  int RxMode() const { return m_nRxMode; }
  void SetRxMode(int mode) { m_nRxMode = mode; }

  // True from PortOpen until the port is closed, except once the open has failed.
  bool IsOpen() const;

  // The cable is gone: the reader stops at once, posts and logs nothing more, and appends nothing
  // more to the ring. The port stays open until PortClose.
  void SuspendReader();

  // Calls the warning hook on a thread of its own with "Warning" and "Cable connection lost!\n
  // Turn off and on modem and Retry again", and returns at once.
  void ShowCableLostWarning();
  void SetCableLostWarningHook(WarningHook hook) { m_WarningHook = std::move(hook); }

  // Teardown: closes the port as PortClose does (abandoning a pending write) and joins every
  // thread of this object. Call it from the owner's destructor while the owner window can still
  // handle a log request; idempotent.
  void Shutdown();

  // Blocks until every write handed to PortWrite has reached the device and the reader thread is
  // waiting for device events or has ended. With a FakeSerialPort this is half of quiescence (see
  // tests/support/serial_quiescence.h); at teardown it lets pending writes finish.
  void WaitUntilIdle();

  // The settings of the last PortOpen, as stored.
  const std::string& port() const { return m_strPort; }
  std::uint32_t baud_rate() const { return m_nBaudRate; }

 private:
  // Waits until done() holds (mutex held while it is tested, cv notified when it changes), or
  // until the clock reaches `deadline` (no limit without one). Serves sends to the owner's loop
  // meanwhile when called on that loop's thread. Returns done().
  bool WaitServingSends(std::mutex& mutex, std::condition_variable& cv,
                        const std::function<bool()>& done,
                        std::optional<Clock::TimePoint> deadline);
  // Ends the current connection: 1 once ended (or forced after the limit), 0 if the close thread
  // could not be started.
  int CloseSession();
  int ApplyBaudRate(std::uint32_t baud_rate);
  void SendLog(const std::string& text) const;

  SerialDeviceOpener& m_Opener;
  Clock& m_Clock;

  std::string m_strPort;
  std::uint32_t m_nBaudRate = 0;
  std::uint32_t m_nByteSize = 8;
  std::string m_strParity;
  int m_nStopBits = 1;
  SerialSettings m_Settings;  // as applied to the open port

  RxRing m_Rx;
  int m_nRxMode = RX_MODE_LINE;

  WindowRef m_hOwner;
  MessageLoop* m_pOwnerLoop = nullptr;  // the owner's loop, when it is a MessageLoop

  std::shared_ptr<CComSession> m_pSession;  // the current connection: its device and threads
  WarningHook m_WarningHook;
};

}  // namespace kvx
