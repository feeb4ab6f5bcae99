// Config.ini: the tenth-character rule, the port test, the bounds on what is read, the two lines
// written at completion, and where the file is kept when the program's folder is not writable.

#include "operator/config_file.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/profile_store.h"
#include "support/temp_folder.h"

namespace kvx::ui::test {
namespace {

using kvx::test::TempFolder;

struct ParseCase {
  const char* why;
  std::string text;
  std::string port;
  std::string path;
};

class ConfigParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ConfigParseTest, ReadsTheValuesFromTheTenthCharacter) {
  const ParseCase& c = GetParam();
  const ConfigValues values = ParseConfigText(c.text);
  EXPECT_EQ(values.port, c.port);
  EXPECT_EQ(values.path, c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConfigParseTest,
    ::testing::Values(
        ParseCase{"the file the program writes", "portName=ttyUSB0\r\npathFile=/fw/a.stf\r\n",
                  "ttyUSB0", "/fw/a.stf"},
        ParseCase{"a key one character in still loses nine from the start", "xportName=ttyS3\r\n",
                  "=ttyS3", ""},
        ParseCase{"both keys on one line share the same value", "portName=ttyUSB1 pathFile=x\r\n",
                  "ttyUSB1 pathFile=x", "ttyUSB1 pathFile=x"},
        ParseCase{"keys are case-sensitive", "portname=ttyUSB0\r\nPATHFILE=/fw/a\r\n", "", ""},
        ParseCase{"a name that is no serial port is dropped", "portName=COM5\r\n", "", ""},
        ParseCase{"the last line of a key counts", "portName=ttyUSB0\nportName=bad\n", "", ""},
        ParseCase{"lines without CR and without a final line end", "portName=ttyACM0\npathFile=/b",
                  "ttyACM0", "/b"},
        ParseCase{"a value ends at a NUL", std::string("pathFile=/fw/a\0junk\n", 20), "", "/fw/a"},
        ParseCase{"an overlong line is skipped, not cut",
                  "pathFile=/" + std::string(kMaxConfigLineLength, 'a') + "\nportName=ttyS0\n",
                  "ttyS0", ""}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(ConfigFileTest, FirstReadCreatesTheFileWithTwoEmptyKeys) {
  TempFolder folder;
  const auto path = ConfigFilePath(folder.path());
  const ConfigValues values = ReadConfig(path);
  EXPECT_TRUE(values.port.empty());
  EXPECT_TRUE(values.path.empty());
  EXPECT_EQ(TempFolder::Read(path), "portName=\r\npathFile=\r\n");
}

TEST(ConfigFileTest, WriteLeavesExactlyTheTwoLinesWhateverWasThere) {
  TempFolder folder;
  const auto path = ConfigFilePath(folder.path());
  TempFolder::Write(path, "portName=ttyS0\r\npathFile=/old\r\nextra=1\r\nmore\r\n");
  ASSERT_TRUE(WriteConfig(path, {"ttyUSB2", "/fw/new.bin"}));
  EXPECT_EQ(TempFolder::Read(path), "portName=ttyUSB2\r\npathFile=/fw/new.bin\r\n");
  const ConfigValues back = ReadConfig(path);
  EXPECT_EQ(back.port, "ttyUSB2");
  EXPECT_EQ(back.path, "/fw/new.bin");
}

TEST(ConfigFileTest, AValueWithALineBreakIsWrittenEmptySoItCannotAddKeys) {
  EXPECT_EQ(FormatConfigText({"ttyUSB0", "/fw/evil\nportName=ttyS9"}),
            "portName=ttyUSB0\r\npathFile=\r\n");
}

TEST(ConfigFileTest, OnlyTheStartOfAHugeFileIsRead) {
  TempFolder folder;
  const auto path = ConfigFilePath(folder.path());
  TempFolder::Write(
      path, "pathFile=/fw/a\n" + std::string(kMaxConfigFileRead, '\n') + "portName=ttyUSB9\n");
  const ConfigValues values = ReadConfig(path);
  EXPECT_EQ(values.path, "/fw/a");
  EXPECT_EQ(values.port, "") << "beyond the bound";
}

TEST(ConfigFileTest, AFifoInPlaceOfTheFileGivesEmptyValuesWithoutBlocking) {
  TempFolder folder;
  const auto path = ConfigFilePath(folder.path());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  const ConfigValues values = ReadConfig(path);
  EXPECT_TRUE(values.port.empty());
  EXPECT_TRUE(values.path.empty());
}

TEST(ConfigFileTest, AFolderThatCannotBeMadeGoesOnWithEmptyValues) {
  TempFolder folder;
  // Below a regular file no folder can be made, not even by root.
  TempFolder::Write(folder / "file", "");
  const auto path = folder / "file" / "OKVI" / "Config.ini";
  const ConfigValues values = ReadConfig(path);
  EXPECT_TRUE(values.port.empty());
  EXPECT_TRUE(values.path.empty());
  EXPECT_FALSE(WriteConfig(path, {"ttyUSB0", "/fw"}));
}

struct LocationCase {
  const char* why;
  std::filesystem::path program_folder;
  bool writable;
  std::string xdg_config_home;
  std::string home;
  std::filesystem::path expected;
};

class ConfigLocationTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(ConfigLocationTest, KeepsTheFileBesideTheProgramOnlyWhenItsFolderIsWritable) {
  const LocationCase& c = GetParam();
  EXPECT_EQ(
      ChooseConfigFilePath(c.program_folder, c.writable, ProfilePathFor(c.xdg_config_home, c.home)),
      c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ConfigLocationTest,
    ::testing::Values(
        LocationCase{"a build or unpacked folder keeps it beside the program", "/home/op/kvx", true,
                     "/home/op/.xdg", "/home/op", "/home/op/kvx/Config.ini"},
        LocationCase{"an installed program uses the configuration folder", "/usr/bin", false,
                     "/home/op/.xdg", "/home/op", "/home/op/.xdg/OKVI/Config.ini"},
        LocationCase{"without XDG_CONFIG_HOME, ~/.config", "/usr/bin", false, "", "/home/op",
                     "/home/op/.config/OKVI/Config.ini"},
        LocationCase{"a relative XDG_CONFIG_HOME is ignored", "/usr/bin", false, "cfg", "/home/op",
                     "/home/op/.config/OKVI/Config.ini"},
        LocationCase{"an unknown program folder counts as not writable", "", true, "", "/home/op",
                     "/home/op/.config/OKVI/Config.ini"},
        LocationCase{"with no home either, the program folder: empty values, no write", "/usr/bin",
                     false, "", "", "/usr/bin/Config.ini"},
        LocationCase{"nothing known gives no path, never one relative to the current folder", "",
                     false, "", "", ""}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(ConfigFileTest, AnInstalledProgramRemembersPortAndFileInAFreshConfigurationFolder) {
  TempFolder home;
  const std::filesystem::path xdg = home / "xdg";  // not there yet
  const auto path = ChooseConfigFilePath("/usr/bin", false, ProfilePathFor(xdg.string(), ""));
  ASSERT_EQ(path, xdg / "OKVI" / "Config.ini");

  EXPECT_TRUE(ReadConfig(path).port.empty()) << "first start";
  ASSERT_TRUE(std::filesystem::is_regular_file(path));
  for (const auto& folder : {xdg, xdg / "OKVI"}) {
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0) << folder;
    EXPECT_EQ(info.st_mode & 07777, 0700u) << folder << " is for its user only";
  }

  ASSERT_TRUE(WriteConfig(path, {"ttyUSB0", "/fw/KVX_1.stf"}));
  const ConfigValues next_start = ReadConfig(path);
  EXPECT_EQ(next_start.port, "ttyUSB0");
  EXPECT_EQ(next_start.path, "/fw/KVX_1.stf");
}

TEST(ConfigFileTest, WriteRecreatesAConfigurationFolderRemovedSinceTheStart) {
  TempFolder home;
  const auto path = home / "xdg" / "OKVI" / "Config.ini";
  ASSERT_TRUE(WriteConfig(path, {"ttyACM0", "/fw/a.bin"}));
  EXPECT_EQ(TempFolder::Read(path), "portName=ttyACM0\r\npathFile=/fw/a.bin\r\n");
}

// Root may write any folder, so the check runs in a child that has given up root (as nobody)
// where the test runs as root; otherwise in a child as the user itself.
TEST(ConfigFileTest, FolderIsWritableFollowsTheFolderPermissionsOfTheUser) {
  TempFolder folder;
  const auto locked = folder / "locked";
  const auto open = folder / "open";
  const auto file = folder / "file";
  const auto missing = folder / "missing";
  ASSERT_TRUE(std::filesystem::create_directory(locked));
  ASSERT_TRUE(std::filesystem::create_directory(open));
  TempFolder::Write(file, "");
  // The temporary folder is the user's own (0700); nobody must be able to reach the entries.
  ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(100);
    }
    const int found = (FolderIsWritable(locked) ? 1 : 0) | (FolderIsWritable(open) ? 2 : 0) |
                      (FolderIsWritable(file) ? 4 : 0) | (FolderIsWritable(missing) ? 8 : 0);
    ::_exit(found);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 100) << "could not give up root";
  EXPECT_EQ(WEXITSTATUS(status), 2)
      << "bit 0: a 0555 folder, 1: a 0777 folder, 2: a file, 3: a missing folder, as writable";
  EXPECT_TRUE(FolderIsWritable(folder.path())) << "the user's own folder, in this process";
}

}  // namespace
}  // namespace kvx::ui::test
