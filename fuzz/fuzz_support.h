// Pieces shared by the fuzz targets. Each target is one libFuzzer program, run on one thread.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/trace.h"

namespace kvx::fuzz {

// A trace that goes nowhere: the fuzzers look for crashes and broken invariants, not for text.
class DiscardingLog : public LogSink {
 public:
  void WriteLog(std::string_view, COLORREF, int) override {}
};

// An invariant that must hold for every input; a violation aborts so libFuzzer keeps the input.
inline void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

}  // namespace kvx::fuzz
