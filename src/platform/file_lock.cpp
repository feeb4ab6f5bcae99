#include "platform/file_lock.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "platform/file_lock_internal.h"

namespace kvx {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The in-process half: one flag per lock path, kept while anyone holds or waits for it. (A
// condition variable rather than a timed mutex per path: the thread sanitizer does not see the
// call a timed mutex waits with, and would report every release as a fault.)
class PathLocks {
 public:
  // True when the caller now holds `key`; false when `deadline` passed first.
  bool Lock(const std::string& key, SteadyClock::time_point deadline) {
    std::unique_lock guard(guard_);
    const auto entry = entries_.try_emplace(key).first;
    ++entry->second.users;
    if (!released_.wait_until(guard, deadline, [&] { return !entry->second.held; })) {
      Drop(entry);
      return false;
    }
    entry->second.held = true;
    return true;
  }

  // REQUIRES: `key` held by the caller.
  void Unlock(const std::string& key) {
    {
      const std::lock_guard guard(guard_);
      const auto entry = entries_.find(key);
      entry->second.held = false;
      Drop(entry);
    }
    released_.notify_all();
  }

 private:
  struct Entry {
    bool held = false;
    int users = 0;  // the holder and the waiters
  };
  using Entries = std::map<std::string, Entry>;

  // REQUIRES: guard_ held.
  void Drop(Entries::iterator entry) {
    if (--entry->second.users == 0) entries_.erase(entry);
  }

  std::mutex guard_;
  std::condition_variable released_;
  Entries entries_;  // map nodes stay put while other paths come and go
};

PathLocks& ProcessLocks() {
  static PathLocks locks;
  return locks;
}

// Neither flock nor LockFileEx waits with a time-out: tries without blocking, pausing a little
// longer each time.
std::error_code LockFileUntil(int fd, SteadyClock::time_point deadline) {
  constexpr auto kLongestPause = std::chrono::milliseconds(16);
  std::chrono::microseconds pause(500);
  for (;;) {
    const std::error_code error = file_lock_internal::TryLockFile(fd);
    if (error != std::errc::resource_unavailable_try_again) return error;
    const auto now = SteadyClock::now();
    if (now >= deadline) return std::make_error_code(std::errc::timed_out);
    std::this_thread::sleep_for(std::min<SteadyClock::duration>(pause, deadline - now));
    pause = std::min<std::chrono::microseconds>(pause * 2, kLongestPause);
  }
}

}  // namespace

FileLock::FileLock(const std::string& lock_path, std::chrono::milliseconds wait,
                   std::error_code& ec) {
  ec.clear();
  const auto deadline = SteadyClock::now() + wait;
  std::string key = std::filesystem::path(lock_path).lexically_normal().string();
  if (!ProcessLocks().Lock(key, deadline)) {
    ec = std::make_error_code(std::errc::timed_out);
    return;
  }
  key_ = std::move(key);
  ScopedFd file = file_lock_internal::OpenLockFile(lock_path, ec);
  if (!ec) ec = LockFileUntil(file.get(), deadline);
  if (ec) {
    ProcessLocks().Unlock(key_);
    key_.clear();
    return;
  }
  file_ = std::move(file);
}

FileLock::~FileLock() {
  // Unlocked before the close: a child forked meanwhile may hold a copy of the descriptor.
  if (file_) file_lock_internal::UnlockFile(file_.get());
  file_.reset();
  if (!key_.empty()) ProcessLocks().Unlock(key_);
}

}  // namespace kvx
