// An in-memory serial port for tests of CCom and of the engine above it.
//
// A FakeSerialPort stands for one device path. The test keeps a shared_ptr to it and plays the
// far side: it delivers bytes, drops DSR, injects a failed wait, refuses opens or line settings,
// makes a close hang, and reads back every byte written. A terminal callback may answer writes as
// they happen, so a scripted exchange needs no extra thread.
//
// Quiescence: WaitUntilQuiescent returns once the reader thread has taken every byte and event
// delivered so far and has come back to wait for more (so it has posted its notification), or
// has let go of the device after a failed wait (Interrupt), or once the device is closed. CCom
// keeps the write and open sides of the picture; tests/support/serial_quiescence.h puts the two
// together.
//
// Threads: every member is safe to call from any thread. The terminal callback runs on CCom's
// writer thread, inside the write, with no lock held; it may call Deliver.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial_device.h"

namespace kvx {

class FakeSerialPort {
 public:
  using Terminal = std::function<void(std::span<const std::uint8_t> written)>;

  explicit FakeSerialPort(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // --- the far side ---

  // Queues bytes for the reader. Bytes sent while no device is open are lost, as on a real line.
  void Deliver(std::span<const std::uint8_t> bytes);
  void Deliver(std::string_view bytes);
  // Sets DSR; a change is reported to the reader. DSR starts on.
  void SetDsr(bool on);
  // The reader's next wait fails with `error` (EIO: the device went away).
  void InjectWaitError(int error);
  // Opens fail with `error` (EBUSY: held elsewhere) until called again with 0.
  void RefuseOpen(int error);
  // The next `opens` opens are let through, then every later one fails with `error` until
  // RefuseOpen(0): a port that passes the free-port checks and then refuses the connection.
  void RefuseOpenAfter(int opens, int error);
  // The next `times` line settings (at open or a baud change) are refused with `error`.
  void RefuseConfigure(int times, int error = EINVAL);
  // While set, closing a device blocks until ReleaseClose.
  void HangClose();
  void ReleaseClose();
  // Replies to writes; an empty function removes it.
  void SetTerminal(Terminal terminal);

  // --- what the test reads back ---

  std::vector<std::uint8_t> written() const;
  std::string written_text() const;
  void ClearWritten();
  bool is_open() const;
  int open_count() const;           // successful opens so far
  int configure_count() const;      // accepted line settings so far
  SerialSettings settings() const;  // as last accepted
  bool dtr() const;                 // raised by the last accepted settings, dropped at close
  int wakeups() const;              // waits that have returned to the reader so far

  // Blocks until the reader has nothing left to take (see the file comment). Returns false if
  // that did not happen within `bound`, which only a failing test reaches.
  bool WaitUntilQuiescent(std::chrono::milliseconds bound = std::chrono::seconds(10)) const;
  // Blocks until `count` waits have returned to the reader, or false after `bound`.
  bool WaitForWakeups(int count, std::chrono::milliseconds bound = std::chrono::seconds(10)) const;
  // Blocks until a close hangs (after HangClose), or false after `bound`.
  bool WaitUntilCloseHangs(std::chrono::milliseconds bound = std::chrono::seconds(10)) const;
  // Blocks until no device is open (a hung close has finished), or false after `bound`.
  bool WaitUntilClosed(std::chrono::milliseconds bound = std::chrono::seconds(10)) const;

 private:
  friend class FakeSerialDevice;
  friend class FakeSerialDeviceOpener;

  bool QuiescentLocked() const;
  SerialOpenResult OpenDevice(const std::shared_ptr<FakeSerialPort>& self);

  const std::string path_;
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  // The open device's state; a port has at most one open device.
  bool open_ = false;
  bool interrupted_ = false;
  bool processing_ = false;  // an event was handed out and the reader has not waited again
  std::deque<std::uint8_t> pending_;
  bool dsr_on_ = true;
  bool dsr_pending_ = false;
  int wait_error_ = 0;  // once set, every later wait fails with it
  // Test controls and records.
  int open_error_ = 0;
  int opens_before_error_ = 0;  // opens let through before open_error_ applies
  int configure_refusals_ = 0;
  int configure_error_ = 0;
  bool hang_close_ = false;
  bool close_hanging_ = false;
  Terminal terminal_;
  std::vector<std::uint8_t> written_;
  int open_count_ = 0;
  int configure_count_ = 0;
  int wakeups_ = 0;
  SerialSettings settings_;
  bool dtr_ = false;
};

// Opens the FakeSerialPorts added to it; any other path fails with ENOENT.
class FakeSerialDeviceOpener final : public SerialDeviceOpener {
 public:
  std::shared_ptr<FakeSerialPort> AddPort(const std::string& path);
  // The device is unplugged: later opens of the path fail with ENOENT.
  void RemovePort(const std::string& path);

  SerialOpenResult Open(const std::string& path) override;

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<FakeSerialPort>> ports_;
};

}  // namespace kvx
