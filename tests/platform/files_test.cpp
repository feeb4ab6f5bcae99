#include "platform/files.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace kvx {
namespace {

namespace fs = std::filesystem;

const std::error_code kLinkRefused = std::make_error_code(std::errc::too_many_symbolic_link_levels);

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-files-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);  // does not follow links
  }

  // A folder outside the tree under test with a file that must survive.
  fs::path Victim() {
    const auto victim = dir_ / "victim";
    fs::create_directory(victim);
    std::ofstream(victim / "canary") << "keep me";
    return victim;
  }
  bool VictimIntact(const fs::path& victim) {
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(victim)) ++entries;
    return entries == 1 && fs::exists(victim / "canary");
  }

  fs::path dir_;
};

class TmpdirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TMPDIR")) old_ = old;
  }
  void TearDown() override {
    if (old_) {
      setenv("TMPDIR", old_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  std::optional<std::string> old_;
};

TEST_F(TmpdirTest, TheTemporaryDirectoryIsTmpdirWithoutTrailingSlashesElseTmp) {
  struct Case {
    const char* reason;
    const char* tmpdir;  // nullptr: unset
    const char* expected;
  };
  for (const Case& c : {Case{"unset", nullptr, "/tmp"}, Case{"empty counts as unset", "", "/tmp"},
                        Case{"used as given", "/var/tmp/me", "/var/tmp/me"},
                        Case{"trailing slashes dropped", "/var/tmp/me//", "/var/tmp/me"},
                        Case{"the root stays the root", "/", "/"}}) {
    SCOPED_TRACE(c.reason);
    if (c.tmpdir == nullptr) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", c.tmpdir, 1);
    }
    EXPECT_EQ(TempDirectory(), c.expected);
  }
}

TEST(IsSafeRelativePathTest, OnlyNamesThatStayInsideTheirFolderPass) {
  struct Case {
    const char* reason;
    std::string_view name;
    bool safe;
  };
  using namespace std::string_view_literals;
  for (const Case& c : {
           Case{"a plain name", "JQ_A.bin", true},
           Case{"a name in a subfolder", "JQ_set/radio.bin", true},
           Case{"dots inside a name are fine", "JQ_..bin", true},
           Case{"empty", "", false},
           Case{"absolute", "/etc/passwd", false},
           Case{"parent folder", "JQ_x/../../escape", false},
           Case{"parent folder alone", "..", false},
           Case{"current folder", "JQ_x/./y", false},
           Case{"empty component", "JQ_x//y", false},
           Case{"trailing slash names a folder", "JQ_x/", false},
           Case{"backslash separators", "JQ_x\\..\\escape", false},
           Case{"drive letter", "C:/Windows/escape", false},
           Case{"drive-relative", "c:escape", false},
           Case{"embedded NUL", "JQ_a\0/../x"sv, false},
           // What Windows would read as a device, a stream or another name.
           Case{"a device name", "JQ_x/CON", false},
           Case{"a device name with an extension", "nul.bin", false},
           Case{"a numbered port, any case", "com7.txt", false},
           Case{"a printer port", "JQ_x/LPT1", false},
           Case{"a name that only begins like a device", "CONSOLE.bin", true},
           Case{"COM0 is no device", "COM0", true},
           Case{"an alternate data stream", "JQ_a.bin:hidden", false},
           Case{"a trailing dot", "JQ_a.", false},
           Case{"a trailing space", "JQ_x /a.bin", false},
       }) {
    EXPECT_EQ(IsSafeRelativePath(c.name), c.safe) << c.reason;
  }
}

TEST_F(FilesTest, ANewOwnFolderIsOwnerOnlyWhateverTheUmask) {
  const mode_t old_mask = umask(0);
  std::error_code error;
  const auto folder = CreateOwnFolder((dir_ / "new/").string(), error);
  umask(old_mask);
  ASSERT_FALSE(error) << error.message();
  EXPECT_TRUE(folder.valid());
  EXPECT_EQ(fs::status(dir_ / "new").permissions(), fs::perms::owner_all);
}

TEST_F(FilesTest, AnExistingOwnFolderIsAcceptedAndTightened) {
  fs::create_directory(dir_ / "old");
  fs::permissions(dir_ / "old", fs::perms::all);
  std::ofstream(dir_ / "old" / "kept") << "x";
  std::error_code error;
  EXPECT_TRUE(CreateOwnFolder((dir_ / "old").string(), error).valid()) << error.message();
  EXPECT_EQ(fs::status(dir_ / "old").permissions(), fs::perms::owner_all);
  EXPECT_TRUE(fs::exists(dir_ / "old" / "kept"));
}

TEST_F(FilesTest, AFolderNameThatIsALinkOrAFileIsRefused) {
  const auto victim = Victim();
  fs::create_directory_symlink(victim, dir_ / "link");
  std::error_code error;
  EXPECT_FALSE(CreateOwnFolder((dir_ / "link").string(), error).valid());
  EXPECT_EQ(error, kLinkRefused);
  // A trailing slash must not make the link followed.
  EXPECT_FALSE(CreateOwnFolder((dir_ / "link/").string(), error).valid());
  EXPECT_EQ(error, kLinkRefused);
  EXPECT_NE(fs::status(victim).permissions(), fs::perms::owner_all);

  std::ofstream(dir_ / "file") << "x";
  EXPECT_FALSE(CreateOwnFolder((dir_ / "file").string(), error).valid());
  EXPECT_EQ(error, std::make_error_code(std::errc::not_a_directory));
}

TEST_F(FilesTest, AFolderOfAnotherUserIsNeitherUsedNorRemoved) {
  if (geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  fs::create_directory(dir_ / "theirs");
  std::ofstream(dir_ / "theirs" / "file") << "x";
  ASSERT_EQ(chown((dir_ / "theirs").c_str(), 65534, 65534), 0);

  std::error_code error;
  EXPECT_FALSE(CreateOwnFolder((dir_ / "theirs").string(), error).valid());
  EXPECT_EQ(error, make_error_code(FileError::kForeignOwner));
  EXPECT_EQ(RemoveFolderTree((dir_ / "theirs").string()),
            make_error_code(FileError::kForeignOwner));
  EXPECT_TRUE(fs::exists(dir_ / "theirs" / "file"));
}

TEST_F(FilesTest, RemovingATreeRemovesLinksInsideItButNotWhatTheyPointAt) {
  const auto victim = Victim();
  const auto tree = dir_ / "tree";
  fs::create_directories(tree / "a" / "b");
  std::ofstream(tree / "a" / "b" / "file") << "x";
  std::ofstream(tree / "top") << "x";
  fs::create_directory_symlink(victim, tree / "a" / "to_victim");
  fs::create_symlink(victim / "canary", tree / "to_canary");

  EXPECT_FALSE(RemoveFolderTree(tree.string()));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
  EXPECT_TRUE(VictimIntact(victim));
}

TEST_F(FilesTest, RemovingAFolderThatIsALinkLeavesBothAlone) {
  const auto victim = Victim();
  fs::create_directory_symlink(victim, dir_ / "link");
  EXPECT_EQ(RemoveFolderTree((dir_ / "link").string()), kLinkRefused);
  EXPECT_EQ(RemoveFolderTree((dir_ / "link/").string()), kLinkRefused);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
  EXPECT_TRUE(VictimIntact(victim));
}

TEST_F(FilesTest, RemovingNothingSucceeds) {
  EXPECT_FALSE(RemoveFolderTree(""));
  EXPECT_FALSE(RemoveFolderTree((dir_ / "missing").string()));
}

TEST_F(FilesTest, ANewFileBelowAFolderGetsItsFoldersAndIsOwnerOnly) {
  std::error_code error;
  ScopedFd folder(open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const auto file = CreateFileBelow(folder.get(), "JQ_set/sub/radio.bin", error);
  ASSERT_TRUE(file.valid()) << error.message();
  const std::uint8_t byte = 7;
  EXPECT_FALSE(WriteAll(file.get(), {&byte, 1}));
  EXPECT_EQ(fs::file_size(dir_ / "JQ_set" / "sub" / "radio.bin"), 1u);
  EXPECT_EQ(fs::status(dir_ / "JQ_set" / "sub" / "radio.bin").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(dir_ / "JQ_set").permissions(), fs::perms::owner_all);
}

TEST_F(FilesTest, ANewFileIsNeverWrittenThroughALinkOrOverAnExistingFile) {
  const auto victim = Victim();
  ScopedFd folder(open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  fs::create_symlink(victim / "canary", dir_ / "leaf_link");
  fs::create_symlink(victim / "planted", dir_ / "dangling_link");
  fs::create_directory_symlink(victim, dir_ / "folder_link");
  std::ofstream(dir_ / "existing") << "x";

  struct Case {
    const char* reason;
    const char* name;
    std::error_code expected;
  };
  for (const Case& c : {
           Case{"a link to a file", "leaf_link", std::make_error_code(std::errc::file_exists)},
           Case{"a dangling link", "dangling_link", std::make_error_code(std::errc::file_exists)},
           Case{"a link in the folder part", "folder_link/new", kLinkRefused},
           Case{"an existing file", "existing", std::make_error_code(std::errc::file_exists)},
           Case{"a name that leaves the folder", "../victim/new",
                make_error_code(FileError::kUnsafeName)},
       }) {
    SCOPED_TRACE(c.reason);
    std::error_code error;
    EXPECT_FALSE(CreateFileBelow(folder.get(), c.name, error).valid());
    EXPECT_EQ(error, c.expected) << error.message();
  }
  const std::vector<std::uint8_t> data = {1, 2, 3};
  EXPECT_EQ(WriteNewFile((dir_ / "dangling_link").string(), data),
            std::make_error_code(std::errc::file_exists));
  EXPECT_TRUE(VictimIntact(victim));
}

TEST_F(FilesTest, WriteNewFileWritesTheBytesAndReadWholeFileReadsThemBack) {
  const std::vector<std::uint8_t> data = {0, 1, 2, 0xFF};
  const auto path = (dir_ / "data").string();
  ASSERT_FALSE(WriteNewFile(path, data));
  std::vector<std::uint8_t> read;
  EXPECT_FALSE(ReadWholeFile(path, data.size(), read));
  EXPECT_EQ(read, data);
  EXPECT_EQ(ReadWholeFile(path, data.size() - 1, read), std::errc::file_too_large);
}

TEST_F(FilesTest, ReadWholeFileRefusesWhatIsNotARegularFileWithoutWaiting) {
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  std::vector<std::uint8_t> read;
  EXPECT_EQ(ReadWholeFile((dir_ / "fifo").string(), 100, read),
            make_error_code(FileError::kNotRegularFile));
  EXPECT_EQ(ReadWholeFile(dir_.string(), 100, read), make_error_code(FileError::kNotRegularFile));
}

TEST_F(FilesTest, AFileThatGrowsOrShrinksAfterItsSizeWasTakenIsRefused) {
  const auto path = dir_ / "image";
  std::ofstream(path, std::ios::binary) << std::string(1000, 'x');
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::vector<std::uint8_t> buffer(1000);
  EXPECT_FALSE(ReadFileExactly(fd.get(), buffer));

  std::ofstream(path, std::ios::binary | std::ios::app) << "more";
  EXPECT_EQ(ReadFileExactly(fd.get(), buffer), make_error_code(FileError::kChangedWhileRead));

  fs::resize_file(path, 500);
  EXPECT_EQ(ReadFileExactly(fd.get(), buffer), make_error_code(FileError::kChangedWhileRead));
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(FilesTest, EveryReaderRefusesWhatIsNotARegularFileWithoutWaiting) {
  std::ofstream(dir_ / "plain", std::ios::binary) << "0123456789";
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  const std::error_code not_regular = make_error_code(FileError::kNotRegularFile);
  const std::error_code missing = std::make_error_code(std::errc::no_such_file_or_directory);
  struct Case {
    const char* reason;
    fs::path path;
    std::error_code expected;
  };
  for (const Case& c : {Case{"a regular file is read", dir_ / "plain", {}},
                        Case{"a FIFO would block a plain open", dir_ / "fifo", not_regular},
                        Case{"a folder is no file", dir_, not_regular},
                        Case{"nothing there", dir_ / "missing", missing}}) {
    SCOPED_TRACE(c.reason);
    std::error_code error;
    const RegularFile file = OpenRegularFile(c.path.string(), error);
    EXPECT_EQ(error, c.expected);
    EXPECT_EQ(file.fd.valid(), !c.expected);
    EXPECT_EQ(file.size, c.expected ? 0u : 10u);
    EXPECT_EQ(OpenRegularFileStream(c.path.string(), error) != nullptr, !c.expected);
    EXPECT_EQ(error, c.expected);
    std::string text;
    EXPECT_EQ(ReadFileStart(c.path.string(), 100, text), c.expected);
    EXPECT_EQ(ReadWholeFile(c.path.string(), 100, text), c.expected);
  }
}

TEST_F(FilesTest, ReadFileStartTakesOnlyTheStartOfALongerFile) {
  const auto path = dir_ / "config";
  std::ofstream(path, std::ios::binary) << "0123456789";
  std::string text = "stale";
  EXPECT_FALSE(ReadFileStart(path.string(), 4, text));
  EXPECT_EQ(text, "0123");
  EXPECT_FALSE(ReadFileStart(path.string(), 100, text));
  EXPECT_EQ(text, "0123456789");
  EXPECT_EQ(ReadWholeFile(path.string(), 4, text), std::errc::file_too_large)
      << "a whole read refuses what its start read cuts short";
}

TEST_F(FilesTest, OpeningForWritingTreatsWhatIsThereAsAsked) {
  struct Case {
    const char* reason;
    IfExists if_exists;
    const char* name;  // "file": an existing file; "link": a link to "target"; else nothing
    std::error_code expected;
    const char* file_after;    // the contents at the name afterwards
    const char* target_after;  // the contents of the link's target afterwards
  };
  const std::error_code exists = std::make_error_code(std::errc::file_exists);
  for (const Case& c : {
           Case{"a new file is made", IfExists::kRefuse, "new", {}, "new", "old"},
           Case{"an existing file is kept", IfExists::kRefuse, "file", exists, "old", "old"},
           Case{"a link is not written through", IfExists::kRefuse, "link", exists, "old", "old"},
           Case{"truncate empties a file", IfExists::kTruncate, "file", {}, "new", "old"},
           Case{"truncate follows a link", IfExists::kTruncate, "link", {}, "new", "new"},
           Case{"no-link empties a file", IfExists::kTruncateNoLink, "file", {}, "new", "old"},
           Case{"no-link refuses a link", IfExists::kTruncateNoLink, "link", kLinkRefused, "old",
                "old"},
       }) {
    SCOPED_TRACE(c.reason);
    std::ofstream(dir_ / "file", std::ios::trunc) << "old";
    std::ofstream(dir_ / "target", std::ios::trunc) << "old";
    fs::remove(dir_ / "new");
    fs::remove(dir_ / "link");
    fs::create_symlink(dir_ / "target", dir_ / "link");

    EXPECT_EQ(WriteWholeFile((dir_ / c.name).string(), "new", c.if_exists, 0600), c.expected);
    EXPECT_EQ(ReadText(dir_ / c.name), c.file_after);
    EXPECT_EQ(ReadText(dir_ / "target"), c.target_after);
  }
}

TEST_F(FilesTest, AnAtomicReplaceKeepsTheModeAndLeavesNothingBeside) {
  const auto path = dir_ / "profile.ini";
  for (const bool sync : {true, false}) {
    SCOPED_TRACE(sync ? "synced" : "not synced");
    fs::remove(path);
    ASSERT_FALSE(
        ReplaceFileAtomically(path.string(), "first", {.new_file_mode = 0600, .sync = sync}));
    EXPECT_EQ(ReadText(path), "first");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_FALSE(
        ReplaceFileAtomically(path.string(), "second", {.new_file_mode = 0600, .sync = sync}));
    EXPECT_EQ(ReadText(path), "second");
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
        << "a replaced file keeps its mode";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  }
}

TEST_F(FilesTest, AFailedAtomicReplaceLeavesWhatWasThere) {
  fs::create_directory(dir_ / "folder");
  std::ofstream(dir_ / "folder" / "inside") << "kept";
  EXPECT_EQ(ReplaceFileAtomically((dir_ / "folder").string(), "text", {}),
            std::errc::is_a_directory);
  EXPECT_EQ(ReadText(dir_ / "folder" / "inside"), "kept");
  EXPECT_EQ(ReplaceFileAtomically((dir_ / "missing" / "file").string(), "text", {}),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
      << "no file is left beside the one that could not be replaced";
}

TEST_F(FilesTest, OnlyAFolderThatTakesNewFilesCounts) {
  std::ofstream(dir_ / "file") << "x";
  struct Case {
    const char* reason;
    std::string folder;
    bool expected;
  };
  for (const Case& c :
       {Case{"a folder of ours", dir_.string(), true},
        Case{"a file", (dir_ / "file").string(), false},
        Case{"nothing there", (dir_ / "missing").string(), false}, Case{"no name", "", false}}) {
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(CanCreateFilesIn(c.folder), c.expected);
  }
}

TEST(ProgramFolderTest, HoldsTheRunningProgram) {
  const fs::path folder = ProgramFolder();
  ASSERT_TRUE(folder.is_absolute()) << folder;
  EXPECT_TRUE(fs::equivalent(folder / "platform_tests", "/proc/self/exe"));
}

}  // namespace
}  // namespace kvx
