// ModemManager found in a fake /proc, and the permission text with the device's group.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/modem_manager.h"
#include "platform/port_permission.h"
#include "support/temp_folder.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

using test::TempFolder;

struct ProcCase {
  const char* reason;
  std::vector<std::pair<std::string, std::string>> tasks;  // folder, comm contents
  bool running;
};

class FakeProc : public testing::TestWithParam<ProcCase> {};

TEST_P(FakeProc, ModemManagerIsFoundByItsTaskName) {
  const ProcCase& c = GetParam();
  const TempFolder proc;
  for (const auto& [folder, comm] : c.tasks) {
    fs::create_directories(proc / folder);
    std::ofstream(proc / folder / "comm") << comm;
  }
  EXPECT_EQ(ModemManagerRunning(proc.path()), c.running);
}

INSTANTIATE_TEST_SUITE_P(
    Tasks, FakeProc,
    testing::Values(
        ProcCase{"running among others", {{"1", "systemd\n"}, {"742", "ModemManager\n"}}, true},
        ProcCase{"not running", {{"1", "systemd\n"}, {"743", "NetworkManager\n"}}, false},
        ProcCase{"a longer name is another program", {{"744", "ModemManagerX\n"}}, false},
        ProcCase{"only a prefix of the name", {{"745", "ModemManage\n"}}, false},
        ProcCase{"folders that are not processes do not count",
                 {{"self", "ModemManager\n"}, {"12a", "ModemManager\n"}},
                 false},
        ProcCase{"no /proc at all", {}, false}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(ModemManagerWarning, NamesTheUdevPropertyAndHowToStopIt) {
  std::string all;
  for (const std::string& line : ModemManagerWarning()) {
    EXPECT_EQ(line.find('\n'), std::string::npos);
    all += line;
  }
  EXPECT_NE(all.find("ID_MM_DEVICE_IGNORE"), std::string::npos);
  EXPECT_NE(all.find("systemctl stop ModemManager"), std::string::npos);
}

TEST(PortPermission, OnlyEaccesAndEpermArePermissionErrors) {
  EXPECT_TRUE(IsPermissionError(EACCES));
  EXPECT_TRUE(IsPermissionError(EPERM));
  for (const int other : {0, EBUSY, ENOENT, EIO, EINVAL}) EXPECT_FALSE(IsPermissionError(other));
}

TEST(PortPermission, TheTextNamesThePortTheGroupAndTheCommand) {
  EXPECT_EQ(PortPermissionText("/dev/ttyUSB0", "dialout"),
            "Permission denied opening /dev/ttyUSB0: add yourself to the dialout group (sudo "
            "usermod -aG dialout $USER) and log in again.");
  EXPECT_EQ(PortPermissionText("/dev/ttyACM0", "uucp"),
            "Permission denied opening /dev/ttyACM0: add yourself to the uucp group (sudo usermod "
            "-aG uucp $USER) and log in again.");
}

TEST(PortPermission, TheGroupIsTheDevicesOwnerOrDialout) {
  const TempFolder dir;
  const fs::path node = dir / "ttyUSB0";
  std::ofstream(node) << "";
  struct stat st {};
  ASSERT_EQ(::stat(node.c_str(), &st), 0);
  const group* owner = ::getgrgid(st.st_gid);
  const std::string expected =
      (st.st_gid == 0 || owner == nullptr) ? "dialout" : std::string(owner->gr_name);
  EXPECT_EQ(SerialDeviceGroup(node.string()), expected)
      << "root's group is no advice: udev has not given the node away yet";
  EXPECT_EQ(SerialDeviceGroup((dir / "missing").string()), "dialout");
}

}  // namespace
}  // namespace kvx
