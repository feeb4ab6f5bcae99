#include "platform/trace.h"

#include <cstdio>
#include <ctime>

namespace kvx {

std::string FormatTraceTimestamp(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  const long millis = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() %
      1000);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "[%04d/%02d/%02d %02d:%02d:%02d.%03ld]",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, millis < 0 ? millis + 1000 : millis);
  return buffer;
}

const char* TraceMarker(int kind) {
  switch (kind) {
    case LOG_TX:
      return "T: ";
    case LOG_RX:
      return "R: ";
    case LOG_TEXT:
      return " ";
    default:
      return nullptr;
  }
}

std::string FormatTraceLine(std::string_view text, int kind,
                            std::chrono::system_clock::time_point time) {
  const char* marker = TraceMarker(kind);
  if (!marker) return {};
  std::string line = FormatTraceTimestamp(time);
  line += marker;
  line += text;
  if (text.find_first_of("\r\n") == std::string_view::npos) line += '\n';
  return line;
}

bool TraceStore::Append(std::string_view text, COLORREF colour, int kind,
                        std::chrono::system_clock::time_point time) {
  if (!TraceMarker(kind)) return false;
  {
    std::lock_guard guard(mutex_);
    lines_.push_back(TraceLine{FormatTraceLine(text, kind, time), colour, kind, time});
    if (lines_.size() > kMaxLines) {
      lines_.pop_front();
      ++dropped_;
    }
  }
  Notify();
  return true;
}

void TraceStore::Clean() {
  {
    std::lock_guard guard(mutex_);
    lines_.clear();
    dropped_ = 0;
    ++generation_;
  }
  Notify();
}

std::size_t TraceStore::size() const {
  std::lock_guard guard(mutex_);
  return dropped_ + lines_.size();
}

std::vector<TraceLine> TraceStore::Lines(std::size_t first) const {
  return Slice(first).lines;
}

TraceSlice TraceStore::Slice(std::size_t first) const {
  std::lock_guard guard(mutex_);
  const std::size_t end = dropped_ + lines_.size();
  if (first >= end) return {{}, end};
  const std::size_t skip = first > dropped_ ? first - dropped_ : 0;
  return {{lines_.begin() + static_cast<std::ptrdiff_t>(skip), lines_.end()}, end};
}

std::uint64_t TraceStore::generation() const {
  std::lock_guard guard(mutex_);
  return generation_;
}

void TraceStore::SetListener(Listener listener) {
  std::lock_guard guard(mutex_);
  listener_ = std::move(listener);
}

void TraceStore::Notify() {
  Listener listener;
  {
    std::lock_guard guard(mutex_);
    listener = listener_;
  }
  if (listener) listener();
}

}  // namespace kvx
