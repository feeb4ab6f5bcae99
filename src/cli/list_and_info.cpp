// --list-ports and --info: neither starts the engine nor touches a terminal.
#include <unistd.h>

#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/image_check.h"
#include "cli/operator_text.h"
#include "cli/port_choice.h"
#include "cli/terminal_output.h"
#include "platform/codepage.h"
#include "platform/posix_serial_device.h"
#include "platform/serial_port_source.h"

namespace kvx {

int RunListPorts() {
  SystemSerialPortSource source;
  PosixSerialDeviceOpener opener;
  FdTextSink out(STDOUT_FILENO);
  for (const std::string& port : FreeSerialPorts(source, opener)) out.Write(port + "\n");
  return kExitCompleted;
}

int RunInfo(const CliOptions& options) {
  FdTextSink err(STDERR_FILENO);
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
  FdTextSink out(STDOUT_FILENO);
  out.Write(Utf8ToLocale(FormatImageSummary(LocaleToUtf8(options.file), *summary)));
  return kExitCompleted;
}

}  // namespace kvx
