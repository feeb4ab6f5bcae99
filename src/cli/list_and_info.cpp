// --list-ports and --info: neither starts the engine nor touches a terminal.
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/image_check.h"
#include "cli/operator_text.h"
#include "cli/port_listing.h"
#include "cli/terminal_output.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/modem_manager.h"
#include "platform/port_description.h"
#include "platform/serial_device.h"
#include "platform/serial_port_source.h"

namespace kvx {

int RunListPorts() {
  SystemSerialPortSource source;
  const std::unique_ptr<SerialDeviceOpener> opener = MakeSystemSerialDeviceOpener();
  FdTextSink out(kStandardOutput);
  FdTextSink err(kStandardError);
  const auto message = [&err](std::string_view text) {
    err.Write(Utf8ToLocale(MessageLines(text)));
  };
  if (ModemManagerRunning()) {
    for (const std::string& line : ModemManagerWarning()) message(line);
  }
  ListSerialPorts(
      source, *opener,
      {.describe = DescribeSystemPort,
       .line = [&out](std::string_view line) { out.Write(Utf8ToLocale(std::string(line) + "\n")); },
       .message = message});
  return kExitCompleted;
}

int RunInfo(const CliOptions& options) {
  FdTextSink err(kStandardError);
  const auto report = [&err](std::string_view text) {
    err.Write(Utf8ToLocale(MessageLines(text)));
  };
  if (const auto problem = FirmwareFileProblem(options.file)) {
    report(*problem);
    return kExitUsage;
  }
  const auto summary = CheckImage(options.file, ImageCheckOptions{}, report);
  if (!summary) {
    report(LocaleToUtf8(options.file) + ": the image cannot be used");
    return kExitUsage;
  }
  FdTextSink out(kStandardOutput);
  out.Write(Utf8ToLocale(FormatImageSummary(LocaleToUtf8(options.file), *summary)));
  return kExitCompleted;
}

}  // namespace kvx
