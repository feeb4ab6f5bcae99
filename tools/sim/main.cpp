// kvx-sim: a simulated Velmora KVX-01 terminal on a pseudo-terminal. See HelpText() for usage.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/interrupt.h"
#include "platform/program_version.h"
#include "sim/sim_loop.h"
#include "sim/sim_options.h"

namespace {

// The loop that SIGINT and SIGTERM stop; set while it runs.
kvx::sim::SimLoop* g_loop = nullptr;

void OnStopSignal() {
  if (g_loop != nullptr) g_loop->RequestStop();
}

std::string CurrentFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::string("/") : folder.string();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const auto parsed = kvx::sim::ParseOptions(args, kvx::sim::DefaultLinkPath(std::getenv("TMPDIR")),
                                             CurrentFolder());
  if (parsed.help) {
    std::fputs(kvx::sim::HelpText().c_str(), stdout);
    return 0;
  }
  if (parsed.version) {
    std::fputs("kvx-sim " KVX_VERSION "\n", stdout);
    return 0;
  }
  if (!parsed.options) {
    std::fprintf(stderr, "kvx-sim: %s\nTry 'kvx-sim --help'.\n", parsed.error.c_str());
    return 2;
  }

  kvx::sim::SimLoop loop(*parsed.options, stdout, stderr);
  g_loop = &loop;
  kvx::SetStopSignalHandler(OnStopSignal);

  std::string error;
  int status = 1;
  if (loop.Start(&error)) {
    status = loop.Run();
  } else {
    std::fprintf(stderr, "kvx-sim: %s\n", error.c_str());
  }
  g_loop = nullptr;
  return status;
}
