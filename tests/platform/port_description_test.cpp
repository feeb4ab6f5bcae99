// Port descriptions from a fake sysfs and /dev: the USB device a few levels above the tty, the
// by-id link, links given as ports, and device strings that are not to be trusted.

#include "platform/port_description.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kvx {
namespace {

namespace fs = std::filesystem;

class FakeSystem : public testing::Test {
 protected:
  void SetUp() override {
    root =
        fs::temp_directory_path() / ("kvx-describe-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    roots = {root / "sys/class/tty", root / "dev/serial/by-id", root / "dev"};
    fs::create_directories(roots.tty_class);
    fs::create_directories(roots.by_id);
    // Never read: it lies above the sysfs tree.
    Write(root / "idVendor", "dead");
  }
  void TearDown() override { fs::remove_all(root); }

  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }

  // A tty whose sysfs device is `device` (relative to sys/devices), with a node under dev.
  void AddTty(const std::string& name, const std::string& device) {
    fs::create_directories(root / "sys/devices" / device);
    fs::create_directories(roots.tty_class / name);
    fs::create_directory_symlink(fs::path("../../../devices") / device,
                                 roots.tty_class / name / "device");
    Write(roots.dev / name, "");
  }

  // A USB device folder (relative to sys/devices) with the attributes given, empty ones left out.
  void AddUsbDevice(const std::string& folder, const std::string& vendor,
                    const std::string& product_id, const std::string& manufacturer,
                    const std::string& product, const std::string& serial) {
    const fs::path dir = root / "sys/devices" / folder;
    Write(dir / "idVendor", vendor + "\n");
    Write(dir / "idProduct", product_id + "\n");
    if (!manufacturer.empty()) Write(dir / "manufacturer", manufacturer + "\n");
    if (!product.empty()) Write(dir / "product", product + "\n");
    if (!serial.empty()) Write(dir / "serial", serial + "\n");
  }

  void AddByIdLink(const std::string& link, const std::string& tty) {
    fs::create_symlink(fs::path("../..") / tty, roots.by_id / link);
  }

  std::string Describe(const std::string& port) {
    return FormatPortDescription(DescribePort(port, roots));
  }

  fs::path root;
  PortDescriptionRoots roots;
};

constexpr const char* kUsbBus = "pci0000:00/0000:00:14.0/usb1";
constexpr const char* kFtdiById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

TEST_F(FakeSystem, AUsbAdapterShowsItsIdsStringsSerialAndByIdLink) {
  const std::string usb = std::string(kUsbBus) + "/1-2";
  AddUsbDevice(usb, "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
  AddTty("ttyUSB0", usb + "/1-2:1.0/ttyUSB0");
  AddByIdLink(kFtdiById, "ttyUSB0");
  AddByIdLink("zz-second-link", "ttyUSB0");

  const PortDescription d = DescribePort("ttyUSB0", roots);
  EXPECT_EQ(d.vendor_id, "0403");
  EXPECT_EQ(d.product_id, "6001");
  EXPECT_EQ(d.by_id, (roots.by_id / kFtdiById).string()) << "the first in name order";
  EXPECT_EQ(Describe("ttyUSB0"), "USB 0403:6001 FTDI FT232R USB UART, serial A50285BI, " +
                                     (roots.by_id / kFtdiById).string());
}

TEST_F(FakeSystem, MissingAttributesOnlyLeaveTheirFieldsOut) {
  const std::string usb = std::string(kUsbBus) + "/1-3";
  AddUsbDevice(usb, "1d6b", "0104", "", "KVX-01", "");
  AddTty("ttyACM0", usb + "/1-3:1.0");  // cdc-acm: the tty's device is the interface itself
  EXPECT_EQ(Describe("ttyACM0"), "USB 1d6b:0104 KVX-01");
}

TEST_F(FakeSystem, DeviceStringsAreCleanedOfControlCharactersAndBounded) {
  const std::string usb = std::string(kUsbBus) + "/1-4";
  AddUsbDevice(usb, "1234", "5678", "Evil\x1b]0;owned\x07 Corp", std::string(500, 'P'), "S\tN");
  AddTty("ttyUSB1", usb + "/1-4:1.0/ttyUSB1");
  const PortDescription d = DescribePort("ttyUSB1", roots);
  EXPECT_EQ(d.manufacturer, "Evil?]0;owned? Corp");
  EXPECT_EQ(d.product, std::string(kMaxSysfsText, 'P'));
  EXPECT_EQ(d.serial, "S?N");
}

TEST_F(FakeSystem, AUartShowsItsDriverAndNothingFromAboveTheSysfsTree) {
  AddTty("ttyS0", "platform/serial8250/tty/ttyS0");
  fs::create_directories(root / "sys/bus/platform/drivers/serial8250");
  fs::create_directory_symlink("../../../../../bus/platform/drivers/serial8250",
                               root / "sys/devices/platform/serial8250/tty/ttyS0/driver");
  const PortDescription d = DescribePort("ttyS0", roots);
  EXPECT_TRUE(d.vendor_id.empty());
  EXPECT_EQ(Describe("ttyS0"), "driver serial8250");
}

TEST_F(FakeSystem, AUartBehindTheSerialBasePortsShowsTheDriverOfItsHardware) {
  // Linux 6.5 and later: ttyS0's device is a serial-base port under a controller.
  const std::string hardware = "pnp0/00:00";
  AddTty("ttyS0", hardware + "/00:00:0/00:00:0.0");
  for (const char* driver :
       {"serial-base/drivers/port", "serial-base/drivers/ctrl", "pnp/drivers/serial"}) {
    fs::create_directories(root / "sys/bus" / driver);
  }
  const fs::path devices = root / "sys/devices";
  fs::create_directory_symlink(root / "sys/bus/serial-base/drivers/port",
                               devices / hardware / "00:00:0/00:00:0.0/driver");
  fs::create_directory_symlink(root / "sys/bus/serial-base/drivers/ctrl",
                               devices / hardware / "00:00:0/driver");
  fs::create_directory_symlink(root / "sys/bus/pnp/drivers/serial", devices / hardware / "driver");
  EXPECT_EQ(Describe("ttyS0"), "driver serial");
}

TEST_F(FakeSystem, APortGivenAsALinkShowsWhereItLeads) {
  Write(root / "pts/3", "");
  fs::create_symlink(root / "pts/3", root / "ttyKVX0");
  EXPECT_EQ(Describe((root / "ttyKVX0").string()), "link to " + (root / "pts/3").string());
  fs::create_symlink(root / "pts/9", root / "dangling");
  EXPECT_EQ(Describe((root / "dangling").string()), "") << "kvx-sim between two ptys";
  EXPECT_EQ(Describe((root / "pts/3").string()), "") << "not a link";
}

TEST_F(FakeSystem, AByIdLinkGivenAsThePortIsDescribedAsTheTtyItLeadsTo) {
  const std::string usb = std::string(kUsbBus) + "/1-2";
  AddUsbDevice(usb, "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
  AddTty("ttyUSB0", usb + "/1-2:1.0/ttyUSB0");
  AddByIdLink(kFtdiById, "ttyUSB0");
  EXPECT_EQ(Describe((roots.by_id / kFtdiById).string()),
            "USB 0403:6001 FTDI FT232R USB UART, serial A50285BI, link to " +
                fs::canonical(roots.dev / "ttyUSB0").string());
}

TEST_F(FakeSystem, UnknownPortsHaveNoDescription) {
  EXPECT_TRUE(DescribePort("ttyUSB9", roots).empty());
  EXPECT_TRUE(DescribePort("", roots).empty());
  EXPECT_TRUE(DescribePort("../../etc", roots).empty()) << "a bare name is never a path";
}

}  // namespace
}  // namespace kvx
