// A TerminalSink that records what the terminal asks of its line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/terminal.h"

namespace kvx::sim {

class RecordingSink : public TerminalSink {
 public:
  void Send(std::string_view bytes) override { sent.append(bytes); }
  void Log(std::string_view line) override { log.emplace_back(line); }
  void Restart() override { ++restarts; }

  // Everything sent so far, cleared.
  std::string TakeSent() { return std::exchange(sent, {}); }

  std::string sent;
  std::vector<std::string> log;
  int restarts = 0;
};

}  // namespace kvx::sim
