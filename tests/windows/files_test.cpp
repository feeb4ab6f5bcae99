// The file layer on Windows: wide paths, folders held by handle, the staging folder's tree and
// the atomic replace, with names outside ASCII.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/file_lock.h"
#include "platform/wide_text.h"

namespace kvx {
namespace {

// Cyrillic, a Latin letter with a diaeresis and Hangul: no single ANSI code page holds them.
const std::string kName = "\xD0\x9F\xD1\x80\xD0\xBE \xC3\xBC \xED\x95\x9C";

class WindowsFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempDirectory() + "\\kvx-files-test-" + std::to_string(GetCurrentProcessId());
    std::error_code error;
    ASSERT_TRUE(CreateOwnFolder(root_, error)) << error.message();
  }
  void TearDown() override { EXPECT_FALSE(RemoveFolderTree(root_)); }

  std::string root_;
};

TEST_F(WindowsFilesTest, ATreeBelowAFolderHandleIsWrittenReadAndRemoved) {
  std::error_code error;
  const ScopedFd root = CreateOwnFolder(root_, error);
  ASSERT_FALSE(error) << error.message();
  ScopedFd dated = CreateOwnFolderAt(root.get(), kName, error);
  ASSERT_FALSE(error) << error.message();

  ScopedFd file = CreateFileBelow(dated.get(), "JQ_set/" + kName + ".bin", error);
  ASSERT_FALSE(error) << error.message();
  ASSERT_FALSE(WriteAll(file.get(), std::string_view("firmware bytes")));
  ASSERT_FALSE(CloseFile(file));

  const std::string path = root_ + "\\" + kName + "\\JQ_set\\" + kName + ".bin";
  std::string text;
  ASSERT_FALSE(ReadWholeFile(path, 1024, text));
  EXPECT_EQ(text, "firmware bytes");

  CreateFileBelow(dated.get(), "JQ_set/" + kName + ".bin", error);
  EXPECT_EQ(error, std::errc::file_exists) << "an existing file is never opened again";
  CreateFileBelow(dated.get(), "JQ_set/NUL", error);
  EXPECT_EQ(error, make_error_code(FileError::kUnsafeName));

  EXPECT_TRUE(RemoveFolderTreeAt(root.get(), kName)) << "a folder held open stays";
  dated.reset();
  EXPECT_FALSE(RemoveFolderTreeAt(root.get(), kName));
  EXPECT_FALSE(FileExists(path));
}

TEST_F(WindowsFilesTest, ReadsByRangeAndNoticesAFileThatGrew) {
  const std::string path = root_ + "\\" + kName + ".bin";
  ASSERT_FALSE(WriteWholeFile(path, std::string_view("0123456789"), IfExists::kRefuse, 0600));
  std::error_code error;
  RegularFile file = OpenRegularFile(path, error);
  ASSERT_FALSE(error) << error.message();
  ASSERT_EQ(file.size, 10u);

  std::uint8_t middle[4] = {};
  ASSERT_FALSE(ReadFileRange(file.fd.get(), 3, middle));
  EXPECT_EQ(std::string(middle, middle + 4), "3456");
  std::uint8_t past[4] = {};
  EXPECT_EQ(ReadFileRange(file.fd.get(), 8, past), make_error_code(FileError::kChangedWhileRead));

  ASSERT_FALSE(WriteWholeFile(path, std::string_view("+"), IfExists::kAppend, 0600));
  std::uint8_t whole[10] = {};
  EXPECT_EQ(ReadFileExactly(file.fd.get(), whole), make_error_code(FileError::kChangedWhileRead));
}

TEST_F(WindowsFilesTest, OnlyRegularFilesOpenForReading) {
  std::error_code error;
  OpenRegularFile(root_, error);
  EXPECT_EQ(error, make_error_code(FileError::kNotRegularFile)) << "a folder";
  OpenRegularFile("NUL", error);
  EXPECT_EQ(error, make_error_code(FileError::kNotRegularFile)) << "a device";
  OpenRegularFile(root_ + "\\missing.bin", error);
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}

TEST_F(WindowsFilesTest, ReplacingIsWholeAndLeavesNothingBeside) {
  const std::string path = root_ + "\\" + kName + ".ini";
  ASSERT_FALSE(ReplaceFileAtomically(path, "first", {}));
  ASSERT_FALSE(ReplaceFileAtomically(path, "second, longer", {}));
  std::string text;
  ASSERT_FALSE(ReadWholeFile(path, 1024, text));
  EXPECT_EQ(text, "second, longer");

  int entries = 0;
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileW(WideFromUtf8(root_ + "\\*").c_str(), &entry);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    entries += std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..";
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  EXPECT_EQ(entries, 1);
}

TEST_F(WindowsFilesTest, WritingModesRefuseTruncateAndAppend) {
  const std::string path = root_ + "\\report.jsonl";
  ASSERT_FALSE(WriteWholeFile(path, std::string_view("a\n"), IfExists::kRefuse, 0600));
  EXPECT_EQ(WriteWholeFile(path, std::string_view("b\n"), IfExists::kRefuse, 0600),
            std::errc::file_exists);
  ASSERT_FALSE(WriteWholeFile(path, std::string_view("b\n"), IfExists::kAppend, 0600));
  std::string text;
  ASSERT_FALSE(ReadWholeFile(path, 1024, text));
  EXPECT_EQ(text, "a\nb\n");
  ASSERT_FALSE(WriteWholeFile(path, std::string_view("c\n"), IfExists::kTruncate, 0600));
  ASSERT_FALSE(ReadWholeFile(path, 1024, text));
  EXPECT_EQ(text, "c\n");
}

TEST_F(WindowsFilesTest, TheProgramsFolderAndTheTemporaryFolderAreUsable) {
  EXPECT_TRUE(CanCreateFilesIn(TempDirectory()));
  EXPECT_FALSE(ProgramFolder().empty());
  EXPECT_TRUE(FileExists(ProgramFolder()));
  EXPECT_FALSE(CanCreateFilesIn(root_ + "\\missing"));
}

TEST_F(WindowsFilesTest, ALockIsHeldAgainstASecondHolderUntilReleased) {
  const std::string lock_path = root_ + "\\" + kName + ".lock";
  std::error_code error;
  {
    const FileLock first(lock_path, std::chrono::milliseconds(0), error);
    ASSERT_FALSE(error) << error.message();
    const FileLock second(lock_path, std::chrono::milliseconds(0), error);
    EXPECT_EQ(error, std::errc::timed_out);
    EXPECT_FALSE(second.held());
  }
  const FileLock again(lock_path, std::chrono::milliseconds(0), error);
  EXPECT_FALSE(error) << "the lock is free once its holder is gone";
}

}  // namespace
}  // namespace kvx
