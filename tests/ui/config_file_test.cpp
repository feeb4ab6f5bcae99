// Config.ini: the tenth-character rule, the port test, the bounds on what is read, and the two
// lines written at completion.

#include "ui/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ui_test_support.h"

namespace kvx::ui::test {
namespace {

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

TEST(ConfigFileTest, UnwritableFolderGoesOnWithEmptyValues) {
  const ConfigValues values = ReadConfig("/nonexistent-folder/Config.ini");
  EXPECT_TRUE(values.port.empty());
  EXPECT_FALSE(WriteConfig("/nonexistent-folder/Config.ini", {"ttyUSB0", "/fw"}));
}

}  // namespace
}  // namespace kvx::ui::test
