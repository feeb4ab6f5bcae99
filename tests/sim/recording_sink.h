// A TerminalSink that records what the terminal asks of its line.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/terminal_sink.h"

namespace kvx::sim {

class RecordingSink : public TerminalSink {
 public:
  void Send(std::string_view bytes) override { sent.append(bytes); }
  void Log(std::string_view line) override { log.emplace_back(line); }
  void Restart(std::chrono::milliseconds away) override {
    ++restarts;
    last_away = away;
  }
  void TransferEnded(const TransferSummary& summary, std::string_view data) override {
    summaries.push_back(summary);
    ended_data.assign(data);
  }

  // Everything sent so far, cleared.
  std::string TakeSent() { return std::exchange(sent, {}); }

  std::string sent;
  std::vector<std::string> log;
  int restarts = 0;
  std::chrono::milliseconds last_away{-1};  // of the last restart
  std::vector<TransferSummary> summaries;
  std::string ended_data;  // the data handed over with the last summary
};

}  // namespace kvx::sim
