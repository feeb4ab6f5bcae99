// An upgrade run: checks what can be checked before any port is opened, then runs the engine
// thread with this program's window on the main thread until the run has ended and the engine
// has shut down.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/flash_window.h"
#include "cli/image_check.h"
#include "cli/port_board.h"
#include "cli/port_choice.h"
#include "cli/run_log.h"
#include "cli/run_report.h"
#include "cli/terminal_output.h"
#include "cli/trace_writer.h"
#include "engine/upgrade_proc.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/modem_manager.h"
#include "platform/profile_store.h"
#include "platform/serial_device.h"
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

ScopedFd OpenTraceFile(const std::string& path, RunOutput& output) {
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

EngineHooks MakeHooks(RunOutput& output, bool modem_manager_running) {
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

// Everything one port's run needs beside the shared loop: its engine, its trace and its window.
struct PortRun {
  std::string port;
  std::unique_ptr<CUpgradeProc> engine;
  ScopedFd trace_fd;
  std::unique_ptr<FdTextSink> trace_file_sink;
  std::unique_ptr<TraceWriter> trace;
  std::unique_ptr<FlashWindow> window;
  int exit_code = kExitFailed;
};

// The ports to upgrade, as the engine's list spells them: --all-ports takes every free port of
// the list; a port given twice runs once.
std::vector<std::string> ChoosePorts(const CliOptions& options,
                                     const std::vector<std::string>& listed,
                                     SerialDeviceOpener& opener, RunOutput& output) {
  std::vector<std::string> chosen;
  if (options.all_ports) {
    for (const std::string& port : listed) {
      if (!IsPortBusy(port, opener)) chosen.push_back(port);
    }
    if (chosen.empty()) output.Message("--all-ports: no serial port is free");
    return chosen;
  }
  for (const std::string& given : options.ports) {
    const std::string port = ResolvePortName(given, listed, CurrentFolder());
    if (std::find(chosen.begin(), chosen.end(), port) != chosen.end()) {
      output.Message(Display(given) + " is given more than once; it is upgraded once");
      continue;
    }
    chosen.push_back(port);
  }
  return chosen;
}

// --trace for one port of several: standard error, each line with the port in front, or a file of
// its own beside FILE.
bool AttachTrace(const CliOptions& options, PortRun& run, RunOutput& output, bool several) {
  if (options.trace == TraceTarget::kFile) {
    const std::string path =
        several ? options.trace_file + "." + PortNameForTrace(run.port) : options.trace_file;
    run.trace_fd = OpenTraceFile(path, output);
    if (!run.trace_fd) return false;
    run.trace_file_sink = std::make_unique<FdTextSink>(run.trace_fd.get());
    FdTextSink* sink = run.trace_file_sink.get();
    run.trace = std::make_unique<TraceWriter>([sink](std::string_view line) {
      sink->Write(line);
      if (line.empty() || line.back() != '\n') sink->Write("\n");
    });
  } else if (options.trace == TraceTarget::kStandardError) {
    run.trace =
        std::make_unique<TraceWriter>([&output](std::string_view line) { output.Line(line); });
  }
  return true;
}

// Interrupted wins; then any port whose runs did not all complete; a port that could not be used
// counts as a usage error only when no port could be.
int SessionExitCode(const std::vector<std::unique_ptr<PortRun>>& runs) {
  int code = kExitCompleted;
  bool every_port_unusable = !runs.empty();
  for (const auto& run : runs) {
    if (run->exit_code > 128) return run->exit_code;
    if (run->exit_code != kExitUsage) every_port_unusable = false;
    if (run->exit_code != kExitCompleted) code = kExitFailed;
  }
  return every_port_unusable ? kExitUsage : code;
}

}  // namespace

int RunFlash(const CliOptions& options) {
  // Before any other thread exists, so that every thread inherits the blocked signals.
  InterruptWatch interrupts;

  FdTextSink error_sink(kStandardError);
  const TerminalOutput::Settings settings{
      .is_terminal = IsTerminal(kStandardError), .to_locale = true, .columns = [] {
        return TerminalColumns(kStandardError);
      }};
  TerminalOutput output(error_sink, settings);

  if (!CheckFirmwareFile(options, output)) return kExitUsage;
  // Looked for once: the warning comes first here, and again at the top of the run's trace.
  const bool modem_manager_running = ModemManagerRunning();
  if (modem_manager_running) {
    for (const std::string& line : ModemManagerWarning()) output.Message(line);
  }

  std::optional<ReportFile> report;
  ImageIdentity image{options.file, 0, {}};
  if (!options.report_file.empty()) {
    std::error_code error;
    report = ReportFile::Open(options.report_file, error);
    if (!report) {
      output.Message("cannot write the report " + Display(options.report_file) + ": " +
                     error.message());
      return kExitUsage;
    }
    if ((error = IdentifyImage(options.file, image))) {
      output.Message(Display(options.file) + ": " + error.message());
      return kExitUsage;
    }
  }
  RunLog runs(std::move(report), image);

  SteadyClock clock;
  const std::unique_ptr<SerialDeviceOpener> opener = MakeSystemSerialDeviceOpener();
  SystemSerialPortSource ports;
  const std::unique_ptr<ProfileStore> profile = MakeUserProfileStore();
  const std::vector<std::string> chosen =
      ChoosePorts(options, EnumSerialPorts(ports), *opener, output);
  if (chosen.empty()) return kExitUsage;
  const bool several = chosen.size() > 1;

  // Side by side, every port's texts go through the board; one port writes as it always has.
  std::unique_ptr<PortBoard> board;
  if (several)
    board = std::make_unique<PortBoard>(error_sink, settings, [&] {
      std::vector<std::string> labels;
      for (const std::string& port : chosen) labels.push_back(PortNameForTrace(port));
      return labels;
    }());
  const auto output_of = [&](std::size_t k) -> RunOutput& {
    return board ? board->view(k) : static_cast<RunOutput&>(output);
  };

  int exit_code = kExitFailed;
  {
    MessageLoop loop(clock);
    std::vector<std::unique_ptr<PortRun>> port_runs;
    std::size_t open_ports = chosen.size();
    for (std::size_t k = 0; k < chosen.size(); ++k) {
      auto run = std::make_unique<PortRun>();
      run->port = chosen[k];
      if (!AttachTrace(options, *run, output_of(k), several)) return kExitUsage;
      run->engine = std::make_unique<CUpgradeProc>(EngineEnvironment{
          clock, *opener, ports, *profile, MakeHooks(output_of(k), modem_manager_running)});
      PortRun* self = run.get();
      run->window = std::make_unique<FlashWindow>(
          FlashSetup{.options = options,
                     .port = chosen[k],
                     .engine = *run->engine,
                     .loop = loop,
                     .output = output_of(k),
                     .trace = run->trace.get(),
                     .ports = ports,
                     .input_fd = kStandardInput,
                     .input_is_terminal = IsTerminal(kStandardInput),
                     .interrupt_fd = interrupts.interrupt_fd(),
                     .runs = &runs,
                     .enter_starts_next = !several && IsTerminal(kStandardInput),
                     .on_closed = [self, &open_ports, &loop](int code) {
                       self->exit_code = code;
                       if (--open_ports == 0) loop.Quit();
                     }});
      run->engine->m_pMainDlg = run->window->Ref();
      port_runs.push_back(std::move(run));
    }
    std::vector<WindowRef> windows;
    for (const auto& run : port_runs) windows.push_back(run->window->Ref());
    interrupts.Start([windows](int signo, bool first) {
      if (!first) ExitWithoutWaiting(signo);
      for (const WindowRef& window : windows)
        window.Post(WM_FLASH_INTERRUPT, static_cast<WPARAM>(signo));
    });
    for (const auto& run : port_runs) run->engine->Start();
    loop.Run();
    // Each window has joined its engine on WM_USER_THREAD_END; this only makes sure of it.
    for (const auto& run : port_runs) run->engine->Join();
    exit_code = SessionExitCode(port_runs);
  }

  if (several || options.repeat) {
    const std::string summary = FormatSummary(runs.runs());
    if (board) {
      board->Close();
      board->Line(summary);
    } else {
      output.Line(summary);
    }
  }
  return exit_code;
}

}  // namespace kvx
