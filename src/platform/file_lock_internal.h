// What FileLock asks of the system: a lock file opened (created when missing, never through a
// link) and one attempt at an exclusive lock on it. One twin per system.
#pragma once

#include <string>
#include <system_error>

#include "platform/files.h"

namespace kvx::file_lock_internal {

ScopedFd OpenLockFile(const std::string& path, std::error_code& ec);
// One attempt at the exclusive lock, without waiting: {} when taken,
// std::errc::resource_unavailable_try_again while another holder has it, else the failure.
std::error_code TryLockFile(int fd);
void UnlockFile(int fd);

}  // namespace kvx::file_lock_internal
