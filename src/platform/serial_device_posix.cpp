#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <utility>

#include "platform/posix_serial_device.h"

namespace kvx {
namespace {

// How often the modem lines are read on devices that have them.
constexpr std::chrono::milliseconds kModemPoll{100};

bool SpeedFor(std::uint32_t baud_rate, speed_t& speed) {
  static constexpr std::pair<std::uint32_t, speed_t> kSpeeds[] = {
      {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
      {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const auto& [rate, value] : kSpeeds) {
    if (rate == baud_rate) {
      speed = value;
      return true;
    }
  }
  return false;
}

bool CharacterSize(std::uint8_t byte_size, tcflag_t& size) {
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  if (byte_size < 5 || byte_size > 8) return false;
  size = kSizes[byte_size - 5];
  return true;
}

void ApplyParity(Parity parity, termios& t) {
  switch (parity) {
    case Parity::kNone:
      t.c_cflag &= ~(PARENB | PARODD);
      t.c_iflag &= ~INPCK;
      break;
    case Parity::kEven:
      t.c_cflag = (t.c_cflag | PARENB) & ~PARODD;
      t.c_iflag |= INPCK;
      break;
    case Parity::kOdd:
      t.c_cflag |= PARENB | PARODD;
      t.c_iflag |= INPCK;
      break;
    case Parity::kUnchanged:
      break;
  }
}

// Raw binary line: no echo, no signals, no translation, no software flow control.
void MakeRaw(termios& t) {
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  // One byte satisfies a read, so an empty non-blocking read is EAGAIN and 0 means end of file.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
}

}  // namespace

SerialOpenResult PosixSerialDevice::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {nullptr, errno};
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = (errno == EWOULDBLOCK) ? EBUSY : errno;
    ::close(fd);
    return {nullptr, error};
  }
  const int wake_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd < 0) {
    const int error = errno;
    ::close(fd);
    return {nullptr, error};
  }
  // Start from empty queues, as a fresh connection should; not every fd is a tty, so ignore
  // failure here and let Configure report it.
  ::tcflush(fd, TCIOFLUSH);
  return {std::unique_ptr<SerialDevice>(new PosixSerialDevice(fd, wake_fd)), 0};
}

PosixSerialDevice::~PosixSerialDevice() {
  if (configured_) ::tcflush(fd_, TCOFLUSH);
  ::close(fd_);
  ::close(wake_fd_);
}

int PosixSerialDevice::Configure(const SerialSettings& settings) {
  speed_t speed{};
  tcflag_t size{};
  if (!SpeedFor(settings.baud_rate, speed) || !CharacterSize(settings.byte_size, size)) {
    return EINVAL;
  }
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return errno;
  MakeRaw(t);
  t.c_cflag = (t.c_cflag & ~CSIZE) | size;
  ApplyParity(settings.parity, t);
  if (settings.stop_bits == 1) t.c_cflag &= ~CSTOPB;
  if (settings.stop_bits == 2) t.c_cflag |= CSTOPB;
  // RTS/CTS handshake; ignore carrier detect; drop DTR when the port is closed.
  t.c_cflag |= CRTSCTS | CLOCAL | CREAD | HUPCL;
  if (::cfsetspeed(&t, speed) != 0) return errno;
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) return errno;
  // tcsetattr succeeds when any part was applied: check that the rate took.
  termios applied{};
  if (::tcgetattr(fd_, &applied) != 0) return errno;
  if (::cfgetospeed(&applied) != speed) return EINVAL;
  configured_ = true;

  // Pseudo-terminals have no modem lines (ENOTTY, EINVAL): nothing to raise there.
  int dtr = TIOCM_DTR;
  ::ioctl(fd_, TIOCMBIS, &dtr);
  return 0;
}

bool PosixSerialDevice::ReadDsr(bool& on) const {
  int lines = 0;
  if (::ioctl(fd_, TIOCMGET, &lines) != 0) return false;
  on = (lines & TIOCM_DSR) != 0;
  return true;
}

SerialEvents PosixSerialDevice::WaitEvents() {
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
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, has_modem_lines_ ? static_cast<int>(kModemPoll.count()) : -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      events.error = errno;
      return events;
    }
    if (fds[1].revents != 0 || interrupted_) {
      events.interrupted = true;
      return events;
    }
    bool dsr_on = dsr_on_;
    if (has_modem_lines_ && ReadDsr(dsr_on) && dsr_on != dsr_on_) {
      dsr_on_ = dsr_on;
      events.dsr_changed = true;
      events.dsr_on = dsr_on;
    }
    const short revents = fds[0].revents;
    events.rx = (revents & POLLIN) != 0;
    if (revents & POLLNVAL) {
      events.error = EBADF;
    } else if (revents & (POLLHUP | POLLERR)) {
      events.error = EIO;
    }
    if (events.error != 0) failed_ = events.error;
    if (events.rx || events.dsr_changed || events.error != 0) return events;
  }
}

long PosixSerialDevice::Read(std::span<std::uint8_t> buffer) {
  if (buffer.empty()) return 0;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n > 0) return static_cast<long>(n);
    if (n == 0) {
      // End of file on a tty is a hang-up: the other side is gone.
      failed_ = EIO;
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return 0;
    const int error = errno;
    if (error == EIO || error == ENXIO || error == ENODEV) failed_ = EIO;
    return -error;
  }
}

int PosixSerialDevice::Write(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    if (interrupted_) return ECANCELED;
    const ssize_t n = ::write(fd_, data.data(), data.size());
    if (n > 0) {
      data = data.subspan(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return errno;
    // The driver's queue is full (the handshake may be holding it): wait for room.
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {wake_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return errno;
    if (fds[1].revents != 0) return ECANCELED;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return EIO;
  }
  return 0;
}

void PosixSerialDevice::Interrupt() {
  if (interrupted_.exchange(true)) return;
  const std::uint64_t one = 1;
  // The eventfd only fails to take a count when it is already full, which also wakes the polls.
  [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof one);
}

std::unique_ptr<SerialDeviceOpener> MakeSystemSerialDeviceOpener() {
  return std::make_unique<PosixSerialDeviceOpener>();
}

}  // namespace kvx
