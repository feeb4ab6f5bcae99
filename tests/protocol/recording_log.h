// A LogSink that keeps every line written to it, for tests of what the protocol traces.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/trace.h"

namespace kvx::testing {

struct LoggedLine {
  std::string text;
  COLORREF colour;
  int kind;
};

class RecordingLog final : public LogSink {
 public:
  void WriteLog(std::string_view text, COLORREF colour, int kind) override {
    lines.push_back({std::string(text), colour, kind});
  }

  std::vector<LoggedLine> lines;
};

}  // namespace kvx::testing
