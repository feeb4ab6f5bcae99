#include "cli/port_choice.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/operator_text.h"

namespace kvx {
namespace {

TEST(PortChoice, PortsAreSpelledAsTheEnginesListSpellsThem) {
  const std::vector<std::string> listed = {"ttyS0", "ttyUSB0", "/dev/pts/4", "/tmp/kvx/ttyKVX0"};
  const struct {
    const char* why;
    const char* given;
    const char* expected;
  } cases[] = {
      {"a listed name", "ttyUSB0", "ttyUSB0"},
      {"the device path of a listed name", "/dev/ttyUSB0", "ttyUSB0"},
      {"a listed path", "/tmp/kvx/ttyKVX0", "/tmp/kvx/ttyKVX0"},
      {"a name under /dev for a listed path", "pts/4", "/dev/pts/4"},
      {"a path from the current folder", "kvx/ttyKVX0", "/tmp/kvx/ttyKVX0"},
      {"a path from the current folder, with ./", "./kvx/ttyKVX0", "/tmp/kvx/ttyKVX0"},
      {"an unlisted name is left for the engine to refuse", "ttyACM0", "ttyACM0"},
      {"case matters, as in the engine", "TTYUSB0", "TTYUSB0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ResolvePortName(c.given, listed, "/tmp"), c.expected);
  }
}

TEST(PortChoice, ARefusedPortIsExplainedAsBusyOrAsMissing) {
  const std::vector<std::string> listed = {"ttyUSB0", "/tmp/link"};
  EXPECT_EQ(PortRefusalText("ttyUSB0", listed), *PortErrorText(kPortOccupied, "ttyUSB0"));
  const std::string missing = PortRefusalText("ttyUSB9", listed);
  EXPECT_NE(missing.find("ttyUSB9 is not a serial port"), std::string::npos) << missing;
  EXPECT_NE(missing.find("KVX_SERIAL_PORTS"), std::string::npos) << missing;
  EXPECT_NE(missing.find("ttyUSB0 /tmp/link"), std::string::npos) << missing;
  EXPECT_NE(PortRefusalText("x", {}).find("no serial port is listed"), std::string::npos);
}

TEST(PortChoice, ALinkToAListedPortIsRefusedAsBusyNotAsMissing) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("kvx-port-choice-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "by-id");
  std::ofstream(dir / "ttyUSB3") << "";
  const std::string link = (dir / "by-id/usb-Velmora_KVX-01_0001-if00-port0").string();
  fs::create_symlink("../ttyUSB3", link);
  const std::vector<std::string> listed = {"ttyUSB0", (dir / "ttyUSB3").string()};
  EXPECT_EQ(ResolvePortName(link, listed, "/tmp"), link) << "the engine matches it itself";
  EXPECT_EQ(PortRefusalText(link, listed), *PortErrorText(kPortOccupied, link));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kvx
