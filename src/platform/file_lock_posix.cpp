#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "platform/file_lock_internal.h"

namespace kvx {
namespace {

std::error_code LastError() {
  return {errno, std::generic_category()};
}

}  // namespace

namespace file_lock_internal {

ScopedFd OpenLockFile(const std::string& path, std::error_code& ec) {
  ScopedFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
  if (!fd) {
    ec = LastError();
    return fd;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    ec = LastError();
    return {};
  }
  if (!S_ISREG(st.st_mode)) {
    ec = make_error_code(FileError::kNotRegularFile);
    return {};
  }
  return fd;
}

// flock has no time-out of its own: tries without blocking, pausing a little longer each time.
std::error_code LockFileUntil(int fd, std::chrono::steady_clock::time_point deadline) {
  constexpr auto kLongestPause = std::chrono::milliseconds(16);
  std::chrono::microseconds pause(500);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {};
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return LastError();
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return std::make_error_code(std::errc::timed_out);
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min<std::chrono::microseconds>(pause * 2, kLongestPause);
  }
}

void UnlockFile(int fd) {
  ::flock(fd, LOCK_UN);
}

}  // namespace file_lock_internal
}  // namespace kvx
