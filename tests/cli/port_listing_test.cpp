// --list-ports: free ports with their descriptions, busy ones left out, and a permission refusal
// explained with its fix.

#include "cli/port_listing.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/fake_serial_device.h"

namespace kvx {
namespace {

TEST(PortListLine, TheNameComesFirstAndATabOnlyBeforeADescription) {
  EXPECT_EQ(PortListLine("ttyUSB0", "USB 0403:6001 FTDI"), "ttyUSB0\tUSB 0403:6001 FTDI");
  EXPECT_EQ(PortListLine("/tmp/kvx/ttyKVX0", ""), "/tmp/kvx/ttyKVX0");
}

TEST(ListSerialPorts, ListsFreePortsDescribedAndExplainsPermissionRefusalsOnly) {
  FakeSerialDeviceOpener opener;
  opener.AddPort("/dev/ttyUSB10");
  opener.AddPort("/dev/ttyUSB2")->RefuseOpen(EACCES);
  opener.AddPort("/dev/ttyS0")->RefuseOpen(EBUSY);
  opener.AddPort("/tmp/kvx/ttyKVX0");
  // ttyACM0 has no device: ENOENT, as an adapter unplugged a moment ago.
  const FakeSerialPortSource source(
      {"ttyUSB10", "ttyUSB2", "ttyS0", "ttyACM0", "/tmp/kvx/ttyKVX0"});

  std::vector<std::string> lines, messages;
  ListSerialPorts(source, opener,
                  {.describe =
                       [](const std::string& port) {
                         return port == "ttyUSB10" ? std::string("USB 1d6b:0104 KVX-01")
                                                   : std::string();
                       },
                   .line = [&](std::string_view line) { lines.emplace_back(line); },
                   .message = [&](std::string_view text) { messages.emplace_back(text); }});

  EXPECT_EQ(lines, (std::vector<std::string>{"/tmp/kvx/ttyKVX0", "ttyUSB10\tUSB 1d6b:0104 KVX-01"}))
      << "in the engine's order, by the number that ends the name";
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Permission denied opening /dev/ttyUSB2: add yourself to the ", 0),
            0u)
      << messages[0];
  EXPECT_NE(messages[0].find("and log in again."), std::string::npos) << messages[0];
}

TEST(ListSerialPorts, EveryFreePortIsClosedAgainBeforeTheNextIsTried) {
  FakeSerialDeviceOpener opener;
  const auto first = opener.AddPort("/dev/ttyUSB0");
  opener.AddPort("/dev/ttyUSB1");
  const FakeSerialPortSource source({"ttyUSB0", "ttyUSB1"});
  std::vector<std::string> lines;
  ListSerialPorts(source, opener,
                  {.describe =
                       [&](const std::string&) {
                         EXPECT_FALSE(first->is_open()) << "described while held";
                         return std::string();
                       },
                   .line = [&](std::string_view line) { lines.emplace_back(line); },
                   .message = [](std::string_view) {}});
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_FALSE(first->is_open());
}

}  // namespace
}  // namespace kvx
