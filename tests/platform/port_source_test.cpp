#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/serial_port_source.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// A stand-in for /sys/class/tty with the kinds of entries the real one has.
class FakeSysfs : public testing::Test {
 protected:
  void SetUp() override {
    root =
        fs::temp_directory_path() / ("kvx-tty-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    AddTty("ttyUSB1", true);
    AddTty("ttyACM0", true);
    AddTty("ttyS0", true, "4");  // a 16550A is there
    AddTty("ttyS1", true, "0");  // PORT_UNKNOWN: an empty legacy slot
    AddTty("ttyS2", true);       // no type to tell: left out
    AddTty("tty0", false);       // virtual console: no device
    AddTty("ptmx", false);
  }
  void TearDown() override { fs::remove_all(root); }

  void AddTty(const std::string& name, bool has_device, const char* type = nullptr) {
    fs::create_directories(root / name);
    if (has_device) fs::create_directories(root / name / "device");
    if (type) std::ofstream(root / name / "type") << type << "\n";
  }

  fs::path root;
};

TEST_F(FakeSysfs, ListsHardwareTtysInNameOrderThenTheExtraPaths) {
  const SystemSerialPortSource source(root, "/tmp/kvx-a::/tmp/kvx-b:ttyUSB1:");
  EXPECT_EQ(source.ListPorts(), (Names{"ttyACM0", "ttyS0", "ttyUSB1", "/tmp/kvx-a", "/tmp/kvx-b"}));
}

TEST_F(FakeSysfs, MissingSysfsStillListsTheExtraPaths) {
  const SystemSerialPortSource source(root / "absent", "/dev/pts/4");
  EXPECT_EQ(source.ListPorts(), (Names{"/dev/pts/4"}));
}

TEST(SystemSerialPortSource, ExtraPathsComeFromTheEnvironmentAtEachListing) {
  const SystemSerialPortSource source;
  ::setenv(kSerialPortsVariable, "/tmp/kvx-env-port-1:/tmp/kvx-env-port-2", 1);
  const Names listed = source.ListPorts();
  ::unsetenv(kSerialPortsVariable);
  ASSERT_GE(listed.size(), 2u);
  EXPECT_EQ(Names(listed.end() - 2, listed.end()),
            (Names{"/tmp/kvx-env-port-1", "/tmp/kvx-env-port-2"}));
  for (const std::string& name : source.ListPorts())
    EXPECT_EQ(name.find("kvx-env-port"), std::string::npos);
}

}  // namespace
}  // namespace kvx
