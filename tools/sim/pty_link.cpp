#include "sim/pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kvx::sim {
namespace {

std::string ErrnoText(std::string_view what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// mkdir -p for the folders above `path`.
bool MakeParentFolders(const std::string& path, std::string* error) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
      *error = ErrnoText("cannot create folder", folder);
      return false;
    }
  }
  return true;
}

std::string ReadLink(const std::string& path) {
  std::array<char, 4096> target{};
  const ssize_t n = readlink(path.c_str(), target.data(), target.size() - 1);
  return n > 0 ? std::string(target.data(), static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

PtyLink::PtyLink(std::string link_path)
    : link_path_(std::move(link_path)), lock_path_(link_path_ + ".lock") {
  std::array<int, 2> fds{};
  if (pipe2(fds.data(), O_NONBLOCK | O_CLOEXEC) == 0) {
    wake_read_.reset(fds[0]);
    wake_write_.reset(fds[1]);
  } else {
    wake_error_ = errno;
  }
}

PtyLink::~PtyLink() {
  Close();
  if (lock_.valid()) {
    unlink(lock_path_.c_str());
    lock_.reset();
  }
}

bool PtyLink::TakeLock(std::string* error) {
  if (!MakeParentFolders(link_path_, error)) return false;
  ScopedFd lock(open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock.valid()) {
    *error = ErrnoText("cannot create", lock_path_);
    return false;
  }
  if (flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    *error = "another kvx-sim is using " + link_path_ + "; choose another --link";
    return false;
  }
  // Only a symlink (left by a simulator that was killed) may be replaced.
  struct stat st {};
  if (lstat(link_path_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    *error = link_path_ + " exists and is not a symlink; choose another --link";
    return false;
  }
  lock_ = std::move(lock);
  return true;
}

bool PtyLink::Open(std::string* error) {
  if (!lock_.valid() && !TakeLock(error)) return false;
  Close();
  ScopedFd master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!master.valid() || grantpt(master.get()) != 0 || unlockpt(master.get()) != 0) {
    *error = ErrnoText("cannot create a pseudo-terminal", "/dev/ptmx");
    return false;
  }
  std::array<char, 256> name{};
  if (ptsname_r(master.get(), name.data(), name.size()) != 0) {
    *error = ErrnoText("cannot name the pseudo-terminal", "/dev/ptmx");
    return false;
  }
  // A UART neither echoes nor translates; the host sets its own modes on top of these.
  termios modes{};
  if (tcgetattr(master.get(), &modes) == 0) {
    cfmakeraw(&modes);
    tcsetattr(master.get(), TCSANOW, &modes);
  }
  if (!PointLinkAt(name.data(), error)) return false;
  master_ = std::move(master);
  slave_path_ = name.data();
  return true;
}

bool PtyLink::PointLinkAt(const std::string& target, std::string* error) {
  // Built beside the link and renamed over it, so the link never points at nothing half-made.
  const std::string temporary = link_path_ + ".new";
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    *error = ErrnoText("cannot create symlink", temporary);
    return false;
  }
  if (rename(temporary.c_str(), link_path_.c_str()) != 0) {
    *error = ErrnoText("cannot create symlink", link_path_);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

void PtyLink::RemoveLinkIfOurs() {
  if (!slave_path_.empty() && ReadLink(link_path_) == slave_path_) unlink(link_path_.c_str());
}

void PtyLink::Close() {
  if (!master_.valid()) return;
  // The link goes first: a host that reopens at once must not find a dead pty through it.
  RemoveLinkIfOurs();
  master_.reset();
  slave_path_.clear();
}

int PtyLink::HostBaud() const {
  // On a pty master the line modes read are those of the slave, where the host set them.
  termios modes{};
  if (!master_.valid() || tcgetattr(master_.get(), &modes) != 0) return 0;
  return BaudOfSpeed(cfgetospeed(&modes));
}

PtyLink::ReadResult PtyLink::Read(std::span<char> buffer) {
  for (;;) {
    const ssize_t n = read(master_.get(), buffer.data(), buffer.size());
    if (n > 0) return {static_cast<std::size_t>(n), false};
    if (n < 0 && errno == EINTR) continue;
    // EIO: the host has closed its end.
    return {0, n < 0 && errno == EIO};
  }
}

std::optional<std::size_t> PtyLink::Write(std::string_view bytes) {
  const ssize_t n = write(master_.get(), bytes.data(), bytes.size());
  if (n >= 0) return static_cast<std::size_t>(n);
  if (errno == EAGAIN || errno == EINTR) return 0;
  return std::nullopt;
}

bool PtyLink::HostHasOpened() const {
  pollfd fd{master_.get(), POLLIN, 0};
  return poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP) == 0;
}

PtyLink::WaitResult PtyLink::Wait(bool watch_line, bool want_write,
                                  std::optional<std::chrono::nanoseconds> timeout) const {
  std::array<pollfd, 2> fds{};
  fds[0] = {wake_read_.get(), POLLIN, 0};
  nfds_t count = 1;
  if (watch_line) {
    fds[1] = {master_.get(), static_cast<short>(want_write ? POLLIN | POLLOUT : POLLIN), 0};
    count = 2;
  }
  timespec wait{};
  if (timeout) {
    wait.tv_sec = static_cast<time_t>(timeout->count() / 1'000'000'000);
    wait.tv_nsec = static_cast<long>(timeout->count() % 1'000'000'000);
  }
  WaitResult result;
  if (ppoll(fds.data(), count, timeout ? &wait : nullptr, nullptr) < 0) {
    if (errno != EINTR) result.error = errno;
    return result;
  }
  result.woken = fds[0].revents != 0;
  result.line = watch_line && fds[1].revents != 0;
  result.hung_up = result.line && (fds[1].revents & (POLLHUP | POLLERR)) != 0;
  return result;
}

void PtyLink::Wake() const {
  const char byte = 1;
  // Nothing to do on failure: a full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t n = write(wake_write_.get(), &byte, 1);
}

bool PtyLink::CanWake(std::string* error) const {
  if (wake_read_.valid()) return true;
  *error = std::string("cannot create a pipe: ") + std::strerror(wake_error_);
  return false;
}

int BaudOfSpeed(unsigned speed) {
  struct Pair {
    speed_t constant;
    int baud;
  };
  static constexpr Pair kSpeeds[] = {
      {B1200, 1200},       {B2400, 2400},       {B4800, 4800},       {B9600, 9600},
      {B19200, 19200},     {B38400, 38400},     {B57600, 57600},     {B115200, 115200},
      {B230400, 230400},   {B460800, 460800},   {B500000, 500000},   {B576000, 576000},
      {B921600, 921600},   {B1000000, 1000000}, {B1500000, 1500000}, {B2000000, 2000000},
      {B3000000, 3000000}, {B4000000, 4000000},
  };
  for (const auto& pair : kSpeeds) {
    if (pair.constant == speed) return pair.baud;
  }
  return 0;
}

}  // namespace kvx::sim
