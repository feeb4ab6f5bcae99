#include "platform/port_description.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Device strings end up on a terminal and in tooltips: no control characters get through.
std::string Cleaned(std::string_view raw) {
  while (!raw.empty() && IsBlank(raw.back())) raw.remove_suffix(1);
  while (!raw.empty() && IsBlank(raw.front())) raw.remove_prefix(1);
  std::string text(raw);
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = '?';
  }
  return text;
}

// The first kMaxSysfsText bytes of a small attribute file; empty when it cannot be read.
std::string ReadAttribute(const fs::path& path) {
  return Cleaned(ReadFilePrefix(path.string(), kMaxSysfsText));
}

fs::path Canonical(const fs::path& path) {
  std::error_code ec;
  fs::path resolved = fs::canonical(path, ec);
  return ec ? fs::path() : resolved;
}

bool IsWithin(const fs::path& path, const fs::path& top) {
  const auto [top_end, path_end] = std::mismatch(top.begin(), top.end(), path.begin(), path.end());
  return top_end == top.end();
}

// The USB device is the nearest folder above the tty's device (an interface, for most serial
// adapters) that has idVendor; it never lies outside the sysfs tree.
fs::path UsbDeviceFolder(const fs::path& device, const fs::path& sysfs_top) {
  fs::path dir = device;
  for (int depth = 0; depth <= kMaxUsbDepth && IsWithin(dir, sysfs_top); ++depth) {
    std::error_code ec;
    if (fs::exists(dir / "idVendor", ec)) return dir;
    if (dir == sysfs_top || !dir.has_relative_path()) break;
    dir = dir.parent_path();
  }
  return {};
}

// The driver that owns the port's hardware. Since Linux 6.5 a UART's tty device is a port of
// the serial-base bus ("port", under "ctrl"), whose drivers say nothing: look past them.
std::string DriverName(const fs::path& device, const fs::path& sysfs_top) {
  fs::path dir = device;
  for (int depth = 0; depth < 4 && IsWithin(dir, sysfs_top) && dir != sysfs_top; ++depth) {
    const fs::path driver = Canonical(dir / "driver");
    if (!driver.empty() && driver.parent_path().parent_path().filename() != "serial-base") {
      return Cleaned(driver.filename().string().substr(0, kMaxSysfsText));
    }
    dir = dir.parent_path();
  }
  return {};
}

// The by-id link that resolves to `device_node`, the first in name order when several do.
std::string ByIdLink(const fs::path& by_id, const fs::path& device_node) {
  std::vector<std::string> matches;
  std::error_code ec;
  int seen = 0;
  for (fs::directory_iterator it(by_id, ec), end; !ec && it != end && seen < kMaxByIdLinks;
       it.increment(ec), ++seen) {
    if (Canonical(it->path()) == device_node) matches.push_back(it->path().string());
  }
  if (matches.empty()) return {};
  return *std::min_element(matches.begin(), matches.end());
}

// A tty of the sysfs tty class: USB ids and strings, else its driver; and its by-id link.
void DescribeTty(const std::string& name, const PortDescriptionRoots& roots,
                 PortDescription& description) {
  const fs::path device = Canonical(roots.tty_class / name / "device");
  if (device.empty()) return;
  const fs::path tty_class = Canonical(roots.tty_class);
  const fs::path sysfs_top = tty_class.parent_path().parent_path();
  if (const fs::path usb = UsbDeviceFolder(device, sysfs_top); !usb.empty()) {
    description.vendor_id = ReadAttribute(usb / "idVendor");
    description.product_id = ReadAttribute(usb / "idProduct");
    description.manufacturer = ReadAttribute(usb / "manufacturer");
    description.product = ReadAttribute(usb / "product");
    description.serial = ReadAttribute(usb / "serial");
  } else {
    description.driver = DriverName(device, sysfs_top);
  }
  if (const fs::path node = Canonical(roots.dev / name); !node.empty()) {
    description.by_id = Cleaned(ByIdLink(roots.by_id, node));
  }
}

// The tty that `path` resolves to, when it is a device node of the tty class (a by-id link).
std::string TtyBehind(const fs::path& resolved, const PortDescriptionRoots& roots) {
  if (resolved.empty() || resolved.parent_path() != Canonical(roots.dev)) return {};
  const std::string name = resolved.filename().string();
  std::error_code ec;
  return fs::exists(roots.tty_class / name / "device", ec) ? name : std::string();
}

}  // namespace

PortDescription DescribePort(std::string_view port, const PortDescriptionRoots& roots) {
  PortDescription description;
  if (port.empty()) return description;
  if (!port.starts_with('/')) {
    if (port.find('/') == std::string_view::npos)
      DescribeTty(std::string(port), roots, description);
    return description;
  }
  const fs::path path(port);
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return description;
  const fs::path resolved = Canonical(path);
  if (resolved.empty()) return description;  // a dangling link: kvx-sim between two ptys
  description.link_target = Cleaned(resolved.string().substr(0, 4 * kMaxSysfsText));
  if (const std::string tty = TtyBehind(resolved, roots); !tty.empty()) {
    DescribeTty(tty, roots, description);
    if (description.by_id == port) description.by_id.clear();  // it is the port's own name
  }
  return description;
}

}  // namespace kvx
