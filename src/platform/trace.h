// The trace: timestamped, coloured lines of everything the engine does, sends and receives.
//
// Lines are kept in memory only (a TraceStore); nothing here writes them to a file. A front end
// reads the store and is told when it changes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

// A colour as 0x00BBGGRR, red in the lowest byte.
using COLORREF = std::uint32_t;

inline constexpr COLORREF kTraceBlack = 0x000000;  // routine progress
inline constexpr COLORREF kTraceRed = 0x0000ff;    // notable events and failures
inline constexpr COLORREF kTraceAmber = 0x0099cc;  // timer set and kill lines
inline constexpr COLORREF kTraceBrown = 0x003399;  // commands sent to the terminal
inline constexpr COLORREF kTraceBlue = 0xff0000;   // text received from the terminal

// Kinds of line and their markers.
inline constexpr int LOG_TX = 1;    // "T: "
inline constexpr int LOG_RX = 2;    // "R: "
inline constexpr int LOG_TEXT = 3;  // " "

// Where engine code writes its trace lines. Implemented by the engine; image and protocol code
// take it as a parameter so they need no engine.
class LogSink {
 public:
  virtual ~LogSink() = default;
  // Kinds other than LOG_TX, LOG_RX and LOG_TEXT write nothing.
  virtual void WriteLog(std::string_view text, COLORREF colour, int kind) = 0;
};

struct TraceLine {
  std::string text;  // timestamp, marker and text, with a line end (as displayed)
  COLORREF colour = kTraceBlack;
  int kind = LOG_TEXT;
  std::chrono::system_clock::time_point time;
};

// "[YYYY/MM/DD hh:mm:ss.mmm]" in local time.
std::string FormatTraceTimestamp(std::chrono::system_clock::time_point time);

// Marker of a kind, or nullptr for a kind that makes no line.
const char* TraceMarker(int kind);

// The displayed line: timestamp, marker, text, and "\n" when the text holds neither "\n" nor
// "\r". Returns an empty string for a kind that makes no line.
std::string FormatTraceLine(std::string_view text, int kind,
                            std::chrono::system_clock::time_point time);

// Lines read from a TraceStore, and the index to read from next time.
struct TraceSlice {
  std::vector<TraceLine> lines;
  std::size_t next = 0;
};

// The lines since start or since the last Clean, numbered from 0. Only the newest kMaxLines are
// kept, so a program that upgrades terminal after terminal does not grow without end; the
// trace window shows no more than that either. Safe for concurrent use: the engine thread
// appends, a front end reads from its own thread.
class TraceStore {
 public:
  static constexpr std::size_t kMaxLines = 50000;

  // Called after every change, on the thread that made it, without the store's lock held.
  using Listener = std::function<void()>;

  // Appends a line of a valid kind; other kinds change nothing. Returns whether a line was added.
  bool Append(std::string_view text, COLORREF colour, int kind,
              std::chrono::system_clock::time_point time = std::chrono::system_clock::now());
  void Clean();

  // The number of lines appended since the last Clean (the index of the next line), kept or not.
  std::size_t size() const;
  // The lines from index `first` on (all that are kept by default); lines no longer kept are
  // skipped.
  std::vector<TraceLine> Lines(std::size_t first = 0) const;
  TraceSlice Slice(std::size_t first) const;
  // Bumped by Clean, so a reader can tell a cleared store from one that merely grew.
  std::uint64_t generation() const;

  void SetListener(Listener listener);

 private:
  void Notify();

  mutable std::mutex mutex_;
  std::deque<TraceLine> lines_;
  std::size_t dropped_ = 0;  // lines no longer kept since the last Clean
  std::uint64_t generation_ = 0;
  Listener listener_;
};

}  // namespace kvx
