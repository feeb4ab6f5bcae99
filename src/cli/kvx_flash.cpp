// kvx-flash: the headless front end of the KVX-01 upgrader.
#include <clocale>
#include <exception>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/operator_text.h"
#include "cli/terminal_output.h"
#include "platform/console.h"
#include "platform/program_arguments.h"
#include "platform/program_version.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // A closed pipe on standard error must not kill the process in the middle of an upgrade.
  kvx::SetUpStandardStreams();

  using kvx::ParsedCommandLine;
  const ParsedCommandLine parsed = kvx::ParseCommandLine(kvx::ProgramArguments(argc, argv));
  switch (parsed.outcome) {
    case ParsedCommandLine::Outcome::kHelp:
      kvx::FdTextSink(kvx::kStandardOutput).Write(kvx::UsageText());
      return kvx::kExitCompleted;
    case ParsedCommandLine::Outcome::kError: {
      kvx::FdTextSink err(kvx::kStandardError);
      err.Write(kvx::MessageLines(parsed.error));
      err.Write(kvx::UsageSynopsis());
      err.Write("Try 'kvx-flash --help' for more information.\n");
      return kvx::kExitUsage;
    }
    case ParsedCommandLine::Outcome::kRun:
      break;
  }

  try {
    switch (parsed.options.mode) {
      case kvx::CliMode::kListPorts:
        return kvx::RunListPorts();
      case kvx::CliMode::kInfo:
        return kvx::RunInfo(parsed.options);
      case kvx::CliMode::kVersion:
        kvx::FdTextSink(kvx::kStandardOutput).Write("kvx-flash " KVX_VERSION "\n");
        return kvx::kExitCompleted;
      case kvx::CliMode::kFlash:
        return kvx::RunFlash(parsed.options);
    }
  } catch (const std::exception& error) {
    kvx::FdTextSink(kvx::kStandardError).Write(kvx::MessageLines(error.what()));
  }
  return kvx::kExitFailed;
}
