// What FileLock asks of the system: a lock file opened (created when missing, never through a
// link) and an exclusive lock on it, tried until a deadline. One twin per system.
#pragma once

#include <chrono>
#include <string>
#include <system_error>

#include "platform/files.h"

namespace kvx::file_lock_internal {

ScopedFd OpenLockFile(const std::string& path, std::error_code& ec);
// std::errc::timed_out when `deadline` passed while another holder kept the lock.
std::error_code LockFileUntil(int fd, std::chrono::steady_clock::time_point deadline);
void UnlockFile(int fd);

}  // namespace kvx::file_lock_internal
