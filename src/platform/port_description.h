// What the system knows about a serial port, for the operator: the USB ids and strings of the
// device behind a tty, its driver, and its stable /dev/serial/by-id name; for a port given as a
// path (KVX_SERIAL_PORTS), where its link points.
//
// Everything is read from sysfs and /dev under injectable roots, so tests build a fake tree. The
// texts come from the device (USB string descriptors), so every read is bounded and control
// characters are replaced; a missing file only leaves its field empty.
//
// Threads: any; nothing is cached.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kvx {

struct PortDescriptionRoots {
  std::filesystem::path tty_class = "/sys/class/tty";
  std::filesystem::path by_id = "/dev/serial/by-id";
  std::filesystem::path dev = "/dev";  // where bare port names live
};

struct PortDescription {
  std::string vendor_id;  // USB idVendor, e.g. "0403"; empty when the device is not on USB
  std::string product_id;
  std::string manufacturer;
  std::string product;
  std::string serial;
  std::string driver;       // the tty's driver when nothing else is known, e.g. "serial8250"
  std::string by_id;        // full path of the /dev/serial/by-id link to the port, if any
  std::string link_target;  // a port given as a path that is a link: where it resolves to

  bool empty() const {
    return vendor_id.empty() && product_id.empty() && manufacturer.empty() && product.empty() &&
           serial.empty() && driver.empty() && by_id.empty() && link_target.empty();
  }
};

// Longest text kept from one sysfs file, in bytes.
inline constexpr std::size_t kMaxSysfsText = 128;
// At most this many levels above the tty's device are searched for the USB device.
inline constexpr int kMaxUsbDepth = 8;
// At most this many links in the by-id folder are looked at.
inline constexpr int kMaxByIdLinks = 1024;

// What is known about `port` (a bare name such as ttyUSB0, or a path).
PortDescription DescribePort(std::string_view port, const PortDescriptionRoots& roots = {});

// One line for the operator, e.g.
// "USB 0403:6001 FTDI FT232R USB UART, serial A50285BI, /dev/serial/by-id/usb-FTDI_..."; empty
// when nothing is known.
std::string FormatPortDescription(const PortDescription& description);

// DescribePort then FormatPortDescription, on the real system.
std::string DescribeSystemPort(const std::string& port);

}  // namespace kvx
