// The lock of a lock file: held against other threads and against other openers of the file (as
// another process opens it), given up when its wait runs out, and free again afterwards.
#include "platform/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "support/temp_folder.h"

namespace kvx {
namespace {

using std::chrono::milliseconds;
using test::TempFolder;

// Tries the lock once on a thread of its own, as another engine would.
std::error_code TryOnAnotherThread(const std::string& path) {
  std::error_code error;
  std::thread([&] { FileLock lock(path, milliseconds(0), error); }).join();
  return error;
}

TEST(FileLockTest, HoldsAgainstOtherThreadsUntilReleased) {
  TempFolder folder;
  const std::string path = folder.path() + "/profile.ini.lock";
  {
    std::error_code error;
    const FileLock lock(path, milliseconds(0), error);
    ASSERT_FALSE(error) << error.message();
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(TryOnAnotherThread(path), std::errc::timed_out);
    EXPECT_EQ(TryOnAnotherThread(folder.path() + "/./profile.ini.lock"), std::errc::timed_out)
        << "another spelling of the same path";
    EXPECT_FALSE(TryOnAnotherThread(folder.path() + "/other.lock")) << "another lock is free";
  }
  EXPECT_FALSE(TryOnAnotherThread(path));
}

TEST(FileLockTest, HoldsAgainstAnotherOpenOfTheFileAsAnotherProcessWouldHaveIt) {
  TempFolder folder;
  const std::string path = folder.path() + "/profile.ini.lock";
  const ScopedFd other(::open(path.c_str(), O_RDWR | O_CREAT, 0600));
  ASSERT_TRUE(other);
  {
    std::error_code error;
    const FileLock lock(path, milliseconds(0), error);
    ASSERT_FALSE(error);
    EXPECT_NE(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
  }
  ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0) << "released with the FileLock";
  std::error_code error;
  const FileLock refused(path, milliseconds(2), error);
  EXPECT_EQ(error, std::errc::timed_out);
  EXPECT_FALSE(refused.held());
  ASSERT_EQ(::flock(other.get(), LOCK_UN), 0);
  EXPECT_FALSE(TryOnAnotherThread(path))
      << "free again once the other opener let go: the lock that timed out kept nothing";
}

TEST(FileLockTest, RefusesALinkOrAMissingFolderAndWorksAgainAfterwards) {
  TempFolder folder;
  const std::string link = folder.path() + "/link.lock";
  ASSERT_EQ(::symlink((folder.path() + "/target").c_str(), link.c_str()), 0);
  const std::string missing = folder.path() + "/missing/profile.ini.lock";
  for (const std::string& path : {link, missing}) {
    std::error_code error;
    {
      const FileLock lock(path, milliseconds(0), error);
      EXPECT_TRUE(error) << path;
      EXPECT_FALSE(lock.held()) << path;
    }
    EXPECT_NE(TryOnAnotherThread(path), std::errc::timed_out) << "nothing of " << path << " held";
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() + "/target")) << "the link was followed";
  std::filesystem::create_directory(folder.path() + "/missing");
  EXPECT_FALSE(TryOnAnotherThread(missing));
}

}  // namespace
}  // namespace kvx
