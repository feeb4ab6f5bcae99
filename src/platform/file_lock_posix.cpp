#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

std::error_code TryLockFile(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK)
      return std::make_error_code(std::errc::resource_unavailable_try_again);
    return LastError();
  }
  return {};
}

void UnlockFile(int fd) {
  ::flock(fd, LOCK_UN);
}

}  // namespace file_lock_internal
}  // namespace kvx
