// The serial device below CCom: one open port, its line settings, its byte streams and its events.
//
// CCom never names a concrete device. It asks a SerialDeviceOpener for a device by path and then
// uses the five calls below; the POSIX implementation talks to a tty, the fake serves tests.
//
// Threads: one device is used by up to three threads at once, which is why every call states who
// may make it. The reader thread calls WaitEvents and Read; the writer thread calls Write; the
// reader thread (while opening) and then the owner (engine) thread call Configure, never both at
// once. Interrupt may be called from any thread at any time.
// The destructor runs once no call is in progress; it may block while the driver lets go of the
// port (the caller bounds that wait).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kvx {

enum class Parity {
  kNone,
  kEven,
  kOdd,
  kUnchanged,  // leave the driver's parity setting as it is
};

// Line settings. Every port is also put in raw binary mode with RTS/CTS handshake, XON/XOFF off,
// the receiver on and DTR raised.
struct SerialSettings {
  std::uint32_t baud_rate = 115200;
  std::uint8_t byte_size = 8;  // 5 to 8
  Parity parity = Parity::kNone;
  int stop_bits = 1;  // 1 or 2; any other value leaves the driver's setting unchanged

  bool operator==(const SerialSettings&) const = default;
};

// What ended a WaitEvents. Several flags may be set at once; act on them in the order declared.
struct SerialEvents {
  bool interrupted = false;  // Interrupt was called: the device is done, stop using it
  bool dsr_changed = false;  // the DSR line changed; dsr_on is its new state
  bool dsr_on = false;
  bool rx = false;  // bytes may have arrived: Read until it returns 0
  int error = 0;    // errno when the device failed (EIO: it went away); no later wait succeeds
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Applies `settings` and raises DTR. Returns 0, or the errno of the refused setting.
  virtual int Configure(const SerialSettings& settings) = 0;

  // Blocks until bytes arrive, a modem line changes, the device fails, or Interrupt is called.
  // Reader thread.
  virtual SerialEvents WaitEvents() = 0;

  // Copies what has arrived, without waiting. Returns the number of bytes (0 when none), or
  // -errno. Reader thread.
  virtual long Read(std::span<std::uint8_t> buffer) = 0;

  // Writes every byte of `data`, waiting for room as long as it takes. Returns 0 once all are
  // handed to the driver, ECANCELED after Interrupt, or the errno of the failed write. Writer
  // thread.
  virtual int Write(std::span<const std::uint8_t> data) = 0;

  // Wakes every WaitEvents and Write in progress and makes every later one return at once. Any
  // thread; idempotent.
  virtual void Interrupt() = 0;
};

struct SerialOpenResult {
  std::unique_ptr<SerialDevice> device;  // set on success
  int error = 0;                         // errno on failure (EBUSY: someone else holds the port)
};

// Opens serial devices by path, for exclusive use. Thread-safe.
class SerialDeviceOpener {
 public:
  virtual ~SerialDeviceOpener() = default;
  virtual SerialOpenResult Open(const std::string& path) = 0;
};

// The opener of the system's own devices: ttys on Linux, COM ports on Windows.
std::unique_ptr<SerialDeviceOpener> MakeSystemSerialDeviceOpener();

}  // namespace kvx
