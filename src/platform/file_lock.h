// An exclusive lock named by a lock file, held against other threads of this process and against
// other processes alike: a lock of this process for the lock file's path, then flock(LOCK_EX) on
// the lock file. Both are needed: flock alone does not exclude threads where the file system
// emulates it with record locks (NFS), and a lock of the process alone does not reach others.
//
// The lock file is created when missing (mode 0600, never through a symbolic link) and left in
// place afterwards: a locker that removed it could let the next two lockers hold two different
// files. Its folder must exist. Locks are advisory: they hold among programs that take them.
//
// Threads: any thread may take a lock; destroying the FileLock releases it. Paths are compared as
// given, after lexical normalisation, for the in-process part; the flock part holds for any
// spelling of the same file.
#pragma once

#include <chrono>
#include <string>
#include <system_error>

#include "platform/files.h"

namespace kvx {

class FileLock {
 public:
  // Takes the lock named by `lock_path`, waiting at most `wait` for other holders (zero: one
  // attempt). On failure `ec` is set (std::errc::timed_out when the wait ran out) and nothing is
  // held.
  FileLock(const std::string& lock_path, std::chrono::milliseconds wait, std::error_code& ec);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return file_.valid(); }

 private:
  std::string key_;  // the normalised path; empty when the in-process part is not held
  ScopedFd file_;
};

}  // namespace kvx
