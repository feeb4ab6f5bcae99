// A port named by a path that leads to a listed port: /dev/serial/by-id links and device paths.

#include "serial/port_match.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace kvx {
namespace {

namespace fs = std::filesystem;

struct MatchCase {
  const char* reason;
  std::string name;  // "@" stands for the test's folder
  std::optional<std::size_t> found;
};

class PortMatch : public testing::TestWithParam<MatchCase> {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kvx-match-" + std::to_string(::getpid()) + "-" +
                                       std::to_string(GetParam().found.value_or(99)) + "-" +
                                       std::to_string(std::hash<std::string>{}(GetParam().name)));
    fs::remove_all(dir);
    fs::create_directories(dir / "by-id");
    std::ofstream(dir / "ttyUSB3") << "";
    std::ofstream(dir / "ttyUSB4") << "";
    fs::create_symlink("../ttyUSB3", dir / "by-id/usb-Velmora_KVX-01_0001-if00-port0");
    fs::create_symlink("../ttyUSB4", dir / "by-id/usb-Other_0002-if00-port0");
    fs::create_symlink("../ttyUSB5", dir / "by-id/dangling");
    listed = {"ttyUSB0", (dir / "ttyUSB3").string(), "ttyACM0"};
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Expand(const std::string& name) const {
    return name.starts_with('@') ? dir.string() + name.substr(1) : name;
  }

  fs::path dir;
  std::vector<std::string> listed;
};

TEST_P(PortMatch, FindsTheListedPortANameLeadsTo) {
  EXPECT_EQ(FindListedPort(Expand(GetParam().name), listed), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortMatch,
    testing::Values(MatchCase{"the listed spelling", "ttyACM0", 2},
                    MatchCase{"a by-id link to a listed port",
                              "@/by-id/usb-Velmora_KVX-01_0001-if00-port0", 1},
                    MatchCase{"the listed path through a detour", "@/by-id/../ttyUSB3", 1},
                    MatchCase{"a link to a port that is not listed",
                              "@/by-id/usb-Other_0002-if00-port0", std::nullopt},
                    MatchCase{"a dangling link", "@/by-id/dangling", std::nullopt},
                    MatchCase{"names compare case-sensitively", "TTYACM0", std::nullopt},
                    MatchCase{"an empty name", "", std::nullopt}),
    [](const auto& info) { return std::to_string(info.index); });

}  // namespace
}  // namespace kvx
