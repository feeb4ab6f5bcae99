// The system's serial ports on Windows: the values of the registry key
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, each the name of a port (COM3), in the order
// the registry gives them, then the names in KVX_SERIAL_PORTS (separated by ';'). The key is opened
// for reading only: nothing is written, and asking for all access needs rights an operator may not
// have.
#include "platform/serial_port_source.h"

#include <windows.h>

#include <cstdlib>

#include "platform/wide_text.h"

namespace kvx {
namespace {

// Bounds on what the registry hands us.
constexpr DWORD kMaxPorts = 256;
constexpr DWORD kMaxNameChars = 256;

void AddUnlisted(std::vector<std::string>& ports, std::string port) {
  if (port.empty()) return;
  for (const std::string& listed : ports) {
    if (listed == port) return;
  }
  ports.push_back(std::move(port));
}

void AddDeviceMapPorts(std::vector<std::string>& ports) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return;  // no serial port at all
  }
  for (DWORD index = 0; index < kMaxPorts; ++index) {
    wchar_t name[kMaxNameChars];
    DWORD name_chars = kMaxNameChars;
    wchar_t data[kMaxNameChars + 1] = {};
    DWORD data_bytes = kMaxNameChars * sizeof(wchar_t);
    DWORD type = REG_NONE;
    const LONG result = RegEnumValueW(key, index, name, &name_chars, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &data_bytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;  // too long, or not a name
    std::wstring port(data, data_bytes / sizeof(wchar_t));
    port.resize(port.find(L'\0') == std::wstring::npos ? port.size() : port.find(L'\0'));
    AddUnlisted(ports, Utf8FromWide(port));
  }
  RegCloseKey(key);
}

void AddExtraPorts(std::vector<std::string>& ports, std::string_view extra) {
  std::size_t start = 0;
  while (start <= extra.size()) {
    const auto end = std::min(extra.find(';', start), extra.size());
    AddUnlisted(ports, std::string(extra.substr(start, end - start)));
    start = end + 1;
  }
}

}  // namespace

std::vector<std::string> SystemSerialPortSource::ListPorts() const {
  std::vector<std::string> ports;
  AddDeviceMapPorts(ports);
  if (extra_ports_) {
    AddExtraPorts(ports, *extra_ports_);
  } else if (const char* extra = std::getenv(kSerialPortsVariable)) {
    AddExtraPorts(ports, extra);
  }
  return ports;
}

}  // namespace kvx
