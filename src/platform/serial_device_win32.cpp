#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/wide_text.h"
#include "platform/win32_serial_device.h"

namespace kvx {

struct Win32SerialDevice::Handles {
  HANDLE port = INVALID_HANDLE_VALUE;
  HANDLE wake = nullptr;  // manual-reset: set once by Interrupt
  OVERLAPPED read{};      // its event: manual-reset
  OVERLAPPED write{};
};

namespace {

// The longest wait for bytes before the reader looks at DSR again (and the read is restarted).
constexpr DWORD kReadTotalTimeoutMs = 100;
// Bytes further apart than this end a read, so a frame is handed on soon after it arrived.
constexpr DWORD kReadIntervalMs = 2;

// What a failed call on an open port means: errors of a device that has gone away (USB unplugged,
// the far side of a pipe or pty closed) are EIO, as the Linux side reports them.
int ErrnoForPortError(DWORD error) {
  switch (error) {
    case ERROR_BROKEN_PIPE:           // 109
    case ERROR_NOT_READY:             // 21
    case ERROR_ACCESS_DENIED:         // 5: the device was removed under the handle
    case ERROR_BAD_COMMAND:           // 22
    case ERROR_GEN_FAILURE:           // 31
    case ERROR_OPERATION_ABORTED:     // 995: not our own cancel
    case ERROR_DEVICE_NOT_CONNECTED:  // 1167
    case ERROR_FILE_NOT_FOUND:
      return EIO;
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return EIO;
  }
}

int ErrnoForOpenError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EBUSY;  // another program holds the port
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    default:
      return EIO;
  }
}

void CloseIfOpen(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

SerialOpenResult Win32SerialDevice::Open(const std::string& path) {
  auto handles = std::make_unique<Handles>();
  handles->port = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handles->port == INVALID_HANDLE_VALUE) return {nullptr, ErrnoForOpenError(GetLastError())};
  handles->wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  handles->read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  handles->write.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!handles->wake || !handles->read.hEvent || !handles->write.hEvent) {
    const DWORD error = GetLastError();
    std::unique_ptr<Win32SerialDevice> closing(new Win32SerialDevice(std::move(handles)));
    return {nullptr, ErrnoForPortError(error)};
  }
  SetupComm(handles->port, 4096, 4096);
  PurgeComm(handles->port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = kReadIntervalMs;
  timeouts.ReadTotalTimeoutConstant = kReadTotalTimeoutMs;
  if (!SetCommTimeouts(handles->port, &timeouts)) {
    // Without its time-outs a read waits for a full buffer: no frame would ever arrive whole.
    const DWORD error = GetLastError();
    std::unique_ptr<Win32SerialDevice> closing(new Win32SerialDevice(std::move(handles)));
    return {nullptr, ErrnoForPortError(error)};
  }
  return {std::unique_ptr<SerialDevice>(new Win32SerialDevice(std::move(handles))), 0};
}

Win32SerialDevice::Win32SerialDevice(std::unique_ptr<Handles> handles)
    : handles_(std::move(handles)) {}

Win32SerialDevice::~Win32SerialDevice() {
  Handles& h = *handles_;
  if (h.port != INVALID_HANDLE_VALUE) {
    CancelIoEx(h.port, nullptr);
    DWORD ignored = 0;
    if (read_pending_) GetOverlappedResult(h.port, &h.read, &ignored, TRUE);
    // Unsent output would hold the close while a stalled handshake keeps it.
    if (configured_) PurgeComm(h.port, PURGE_TXABORT | PURGE_TXCLEAR);
    CloseHandle(h.port);
  }
  CloseIfOpen(h.wake);
  CloseIfOpen(h.read.hEvent);
  CloseIfOpen(h.write.hEvent);
}

int Win32SerialDevice::Configure(const SerialSettings& settings) {
  if (settings.byte_size < 5 || settings.byte_size > 8) return EINVAL;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handles_->port, &dcb)) return ErrnoForPortError(GetLastError());
  dcb.BaudRate = settings.baud_rate;
  dcb.ByteSize = settings.byte_size;
  switch (settings.parity) {
    case Parity::kNone:
      dcb.Parity = NOPARITY;
      dcb.fParity = FALSE;
      break;
    case Parity::kEven:
      dcb.Parity = EVENPARITY;
      dcb.fParity = TRUE;
      break;
    case Parity::kOdd:
      dcb.Parity = ODDPARITY;
      dcb.fParity = TRUE;
      break;
    case Parity::kUnchanged:
      break;
  }
  if (settings.stop_bits == 1) dcb.StopBits = ONESTOPBIT;
  if (settings.stop_bits == 2) dcb.StopBits = TWOSTOPBITS;
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = TRUE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  // The driver's values may have software flow control on (a fresh pty does): 0x11 and 0x13
  // are data here.
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.XonLim = 100;
  dcb.XoffLim = 100;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  if (!SetCommState(handles_->port, &dcb)) {
    return GetLastError() == ERROR_INVALID_PARAMETER ? EINVAL : ErrnoForPortError(GetLastError());
  }
  configured_ = true;
  EscapeCommFunction(handles_->port, SETDTR);
  return 0;
}

bool Win32SerialDevice::ReadDsr(bool& on) const {
  DWORD status = 0;
  if (!GetCommModemStatus(handles_->port, &status)) return false;  // 50: no modem lines
  on = (status & MS_DSR_ON) != 0;
  return true;
}

// Starts the overlapped read. Returns 0, or the errno of a failed start.
int Win32SerialDevice::StartRead() {
  Handles& h = *handles_;
  ResetEvent(h.read.hEvent);
  received_begin_ = received_end_ = 0;
  DWORD got = 0;
  if (ReadFile(h.port, received_.data(), static_cast<DWORD>(received_.size()), &got, &h.read)) {
    received_end_ = got;  // done at once; the event is set too
    return 0;
  }
  if (GetLastError() == ERROR_IO_PENDING) {
    read_pending_ = true;
    return 0;
  }
  return ErrnoForPortError(GetLastError());
}

// Collects the pending read's outcome. Returns 0, or the errno of a failed read.
int Win32SerialDevice::FinishRead(bool wait) {
  Handles& h = *handles_;
  DWORD got = 0;
  const BOOL done = GetOverlappedResult(h.port, &h.read, &got, wait ? TRUE : FALSE);
  if (!done && GetLastError() == ERROR_IO_INCOMPLETE) return 0;
  read_pending_ = false;
  if (done) {
    received_end_ = got;
    return 0;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT) return 0;  // no bytes this time
  if (error == ERROR_OPERATION_ABORTED && interrupted_) return 0;      // our own cancel
  return ErrnoForPortError(error);
}

SerialEvents Win32SerialDevice::WaitEvents() {
  Handles& h = *handles_;
  if (!modem_checked_) {
    modem_checked_ = true;
    has_modem_lines_ = ReadDsr(dsr_on_);
  }
  for (;;) {
    SerialEvents events;
    if (interrupted_) {
      events.interrupted = true;
      return events;
    }
    if (const int failed = failed_.load(); failed != 0) {
      events.error = failed;
      return events;
    }
    if (received_begin_ < received_end_) {
      events.rx = true;
      return events;
    }
    int error = read_pending_ ? 0 : StartRead();
    if (error == 0 && read_pending_) {
      const HANDLE waits[2] = {h.read.hEvent, h.wake};
      const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
      if (which == WAIT_OBJECT_0 + 1) continue;  // Interrupt: reported at the top
      error = FinishRead(false);
    }
    bool dsr_on = dsr_on_;
    if (has_modem_lines_ && ReadDsr(dsr_on) && dsr_on != dsr_on_) {
      dsr_on_ = dsr_on;
      events.dsr_changed = true;
      events.dsr_on = dsr_on;
    }
    events.rx = received_begin_ < received_end_;
    if (error != 0) {
      failed_ = error;
      events.error = error;
    }
    if (events.rx || events.dsr_changed || events.error != 0) return events;
  }
}

long Win32SerialDevice::Read(std::span<std::uint8_t> buffer) {
  const std::size_t count = std::min(buffer.size(), received_end_ - received_begin_);
  std::copy_n(received_.begin() + static_cast<std::ptrdiff_t>(received_begin_), count,
              buffer.begin());
  received_begin_ += count;
  return static_cast<long>(count);
}

int Win32SerialDevice::Write(std::span<const std::uint8_t> data) {
  Handles& h = *handles_;
  while (!data.empty()) {
    if (interrupted_) return ECANCELED;
    ResetEvent(h.write.hEvent);
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 20));
    DWORD written = 0;
    if (!WriteFile(h.port, data.data(), chunk, &written, &h.write)) {
      if (GetLastError() != ERROR_IO_PENDING) return ErrnoForPortError(GetLastError());
      const HANDLE waits[2] = {h.write.hEvent, h.wake};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        CancelIoEx(h.port, &h.write);
        GetOverlappedResult(h.port, &h.write, &written, TRUE);
        return ECANCELED;
      }
      if (!GetOverlappedResult(h.port, &h.write, &written, FALSE)) {
        return ErrnoForPortError(GetLastError());
      }
    }
    // No write time-outs are set, so a write that took nothing is a device that stopped
    // taking any: writing again would only spin.
    if (written == 0) return EIO;
    data = data.subspan(written);
  }
  return 0;
}

void Win32SerialDevice::Interrupt() {
  if (interrupted_.exchange(true)) return;
  SetEvent(handles_->wake);
}

std::unique_ptr<SerialDeviceOpener> MakeSystemSerialDeviceOpener() {
  return std::make_unique<Win32SerialDeviceOpener>();
}

}  // namespace kvx
