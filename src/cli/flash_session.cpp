// An upgrade run: checks what can be checked before any port is opened, then runs the engine
// thread with this program's window on the main thread until the run has ended and the engine
// has shut down.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/flash_window.h"
#include "cli/image_check.h"
#include "cli/port_choice.h"
#include "cli/terminal_output.h"
#include "cli/trace_writer.h"
#include "engine/upgrade_proc.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/modem_manager.h"
#include "platform/posix_serial_device.h"
#include "platform/profile_store.h"
#include "platform/serial_port_source.h"
#include "serial/serial_ports.h"

namespace kvx {
namespace {

std::string Display(const std::string& locale_text) {
  return LocaleToUtf8(locale_text);
}

// The firmware file must be a readable regular file that the engine's loading code accepts.
bool CheckFirmwareFile(const CliOptions& options, TerminalOutput& output) {
  if (const auto problem = FirmwareFileProblem(options.file)) {
    output.Message(*problem);
    return false;
  }
  const auto report = [&output](std::string_view text) { output.Message(text); };
  if (!CheckImage(options.file, {options.downgrade, options.dev}, report)) {
    output.Message(Display(options.file) + ": the image cannot be used");
    return false;
  }
  return true;
}

ScopedFd OpenTraceFile(const std::string& path, TerminalOutput& output) {
  std::error_code error;
  ScopedFd fd = OpenForWriting(path, IfExists::kTruncate, 0666, error);
  if (error) output.Message("cannot write the trace to " + Display(path) + ": " + error.message());
  return fd;
}

// A second interrupt means the operator will not wait: the process exits at once with 128 + the
// signal's number (the kernel still closes and unlocks the port).
[[noreturn]] void ExitWithoutWaiting(int signo) {
  (void)WriteAll(kStandardError, "\nkvx-flash: interrupted again; exiting without waiting\n");
  std::_Exit(128 + signo);
}

EngineHooks MakeHooks(TerminalOutput& output, bool modem_manager_running) {
  EngineHooks hooks;
  hooks.modem_manager_running = [modem_manager_running] { return modem_manager_running; };
  hooks.show_message_box = [&output](const std::string&, const std::string& text) {
    output.Message(text);
  };
  hooks.show_information = [&output](const std::string& text) { output.Message(text); };
  hooks.show_cable_lost_warning = [&output](const std::string&, const std::string& text) {
    output.Message(text);
  };
  // No port setup dialog here: the port comes from --port.
  return hooks;
}

std::string CurrentFolder() {
  std::error_code ec;
  const auto path = std::filesystem::current_path(ec);
  return ec ? std::string() : path.string();
}

}  // namespace

int RunFlash(const CliOptions& options) {
  // Before any other thread exists, so that every thread inherits the blocked signals.
  InterruptWatch interrupts;

  FdTextSink error_sink(kStandardError);
  TerminalOutput output(error_sink, {.is_terminal = IsTerminal(kStandardError),
                                     .to_locale = true,
                                     .columns = [] { return TerminalColumns(kStandardError); }});

  if (!CheckFirmwareFile(options, output)) return kExitUsage;
  // Looked for once: the warning comes first here, and again at the top of the run's trace.
  const bool modem_manager_running = ModemManagerRunning();
  if (modem_manager_running) {
    for (const std::string& line : ModemManagerWarning()) output.Message(line);
  }

  ScopedFd trace_fd;
  std::optional<FdTextSink> trace_file_sink;
  std::unique_ptr<TraceWriter> trace;
  if (options.trace == TraceTarget::kFile) {
    trace_fd = OpenTraceFile(options.trace_file, output);
    if (!trace_fd) return kExitUsage;
    trace_file_sink.emplace(trace_fd.get());
    trace = std::make_unique<TraceWriter>([&trace_file_sink](std::string_view line) {
      trace_file_sink->Write(line);
      if (line.empty() || line.back() != '\n') trace_file_sink->Write("\n");
    });
  } else if (options.trace == TraceTarget::kStandardError) {
    trace = std::make_unique<TraceWriter>([&output](std::string_view line) { output.Line(line); });
  }

  SteadyClock clock;
  PosixSerialDeviceOpener opener;
  SystemSerialPortSource ports;
  IniProfileStore profile(DefaultProfilePath());
  const std::string port =
      ResolvePortName(options.ports.front(), EnumSerialPorts(ports), CurrentFolder());

  int exit_code = kExitFailed;
  {
    CUpgradeProc engine(
        EngineEnvironment{clock, opener, ports, profile, MakeHooks(output, modem_manager_running)});
    MessageLoop loop(clock);
    FlashWindow window(FlashSetup{.options = options,
                                  .port = port,
                                  .engine = engine,
                                  .loop = loop,
                                  .output = output,
                                  .trace = trace.get(),
                                  .ports = ports,
                                  .input_fd = kStandardInput,
                                  .input_is_terminal = IsTerminal(kStandardInput),
                                  .interrupt_fd = interrupts.interrupt_fd()});
    engine.m_pMainDlg = window.Ref();
    const WindowRef self = window.Ref();
    interrupts.Start([self](int signo, bool first) {
      if (!first) ExitWithoutWaiting(signo);
      self.Post(WM_FLASH_INTERRUPT, static_cast<WPARAM>(signo));
    });
    engine.Start();
    exit_code = loop.Run();
    // The window has joined the engine on WM_USER_THREAD_END; this only makes sure of it.
    engine.Join();
  }
  return exit_code;
}

}  // namespace kvx
