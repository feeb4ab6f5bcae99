#include "cli/progress_format.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "protocol/frame_format.h"

namespace kvx {
namespace {

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * 1024;

std::int64_t ClampedDone(const ProgressSample& sample) {
  if (sample.total <= 0) return 0;
  return std::clamp<std::int64_t>(sample.done, 0, sample.total);
}

std::uint64_t SegmentBytes(std::int64_t segments) {
  return static_cast<std::uint64_t>(std::max<std::int64_t>(segments, 0)) *
         std::uint64_t{kSegmentSize};
}

std::string Printf(const char* format, double value, const char* unit) {
  char text[48];
  std::snprintf(text, sizeof text, format, value, unit);
  return text;
}

// Bytes per second from the start of the download, when there is something to measure.
bool MeasuredRate(const ProgressSample& sample, double& rate) {
  const std::int64_t done = ClampedDone(sample);
  if (done <= 0 || !(sample.elapsed_seconds > 0.0) || !std::isfinite(sample.elapsed_seconds)) {
    return false;
  }
  rate = static_cast<double>(SegmentBytes(done)) / sample.elapsed_seconds;
  return true;
}

std::string FormatRate(const ProgressSample& sample) {
  double rate = 0.0;
  if (!MeasuredRate(sample, rate)) return "-- KiB/s";
  if (rate >= static_cast<double>(kMiB)) {
    return Printf("%.1f %s", rate / static_cast<double>(kMiB), "MiB/s");
  }
  return Printf("%.1f %s", rate / static_cast<double>(kKiB), "KiB/s");
}

std::string FormatTimeLeft(const ProgressSample& sample) {
  double rate = 0.0;
  if (!MeasuredRate(sample, rate)) return "--:-- left";
  const std::int64_t left = sample.total - ClampedDone(sample);
  return FormatDuration(static_cast<double>(SegmentBytes(left)) / rate) + " left";
}

std::string PadLeft(std::string text, std::size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

std::string Bar(const ProgressSample& sample, int inner_width) {
  const auto width = static_cast<std::int64_t>(inner_width);
  const std::int64_t filled = sample.total > 0 ? ClampedDone(sample) * width / sample.total : 0;
  std::string bar = "[";
  bar.append(static_cast<std::size_t>(filled), '=');
  if (filled < width) {
    bar += filled > 0 ? '>' : ' ';
    bar.append(static_cast<std::size_t>(width - filled - 1), ' ');
  }
  bar += ']';
  return bar;
}

}  // namespace

int ProgressPercent(const ProgressSample& sample) {
  if (sample.total <= 0) return 0;
  return static_cast<int>(ClampedDone(sample) * 100 / sample.total);
}

int ProgressTenth(const ProgressSample& sample) {
  if (sample.total <= 0) return 0;
  return static_cast<int>(ClampedDone(sample) * 10 / sample.total);
}

std::string FormatBytePair(std::uint64_t done, std::uint64_t total) {
  if (total >= kMiB) {
    const auto mib = [](std::uint64_t b) { return static_cast<double>(b) / kMiB; };
    char text[64];
    std::snprintf(text, sizeof text, "%.1f/%.1f MiB", mib(done), mib(total));
    return text;
  }
  return std::to_string(done / kKiB) + "/" + std::to_string(total / kKiB) + " KiB";
}

std::string FormatDuration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0.0 || seconds > 359999.0) return "--:--";
  const auto whole = static_cast<long>(std::ceil(seconds));
  const long hours = whole / 3600;
  const long minutes = whole / 60 % 60;
  const long secs = whole % 60;
  char text[32];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, secs);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", minutes, secs);
  }
  return text;
}

std::string FormatProgressBar(const ProgressSample& sample, int width) {
  const std::int64_t done = ClampedDone(sample);
  const std::int64_t total = std::max<std::int64_t>(sample.total, 0);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", ProgressPercent(sample));
  // Figures in the order they are given up when the line gets too narrow (last first).
  // Each figure keeps its width as the counts grow, so the bar does not jump.
  const std::string total_text = std::to_string(total);
  const std::vector<std::string> figures = {
      percent,
      PadLeft(std::to_string(done), total_text.size()) + "/" + total_text + " seg",
      PadLeft(FormatBytePair(SegmentBytes(done), SegmentBytes(total)),
              FormatBytePair(SegmentBytes(total), SegmentBytes(total)).size()),
      PadLeft(FormatRate(sample), 12),
      PadLeft(FormatTimeLeft(sample), 10),
  };
  constexpr std::string_view kGap = "  ";
  constexpr int kMinimumBar = 10;  // inner width below which the bar says nothing

  std::size_t kept = figures.size();
  const auto figures_width = [&](std::size_t count) {
    std::size_t length = 0;
    for (std::size_t k = 0; k < count; ++k) length += kGap.size() + figures[k].size();
    return static_cast<int>(length);
  };
  const int available = std::max(width, 0);
  int bar_inner = available - 2 - figures_width(kept);
  if (bar_inner < kMinimumBar) {
    while (kept > 0 && figures_width(kept) - static_cast<int>(kGap.size()) > available) --kept;
    bar_inner = 0;
  }
  std::string line;
  if (bar_inner > 0) line = Bar(sample, std::min(bar_inner, 50));
  for (std::size_t k = 0; k < kept; ++k) {
    if (!line.empty()) line += kGap;
    line += figures[k];
  }
  return line;
}

std::string FormatTenthLine(const ProgressSample& sample) {
  const std::int64_t done = ClampedDone(sample);
  const std::int64_t total = std::max<std::int64_t>(sample.total, 0);
  char head[32];
  std::snprintf(head, sizeof head, "progress %3d%%  ", ProgressPercent(sample));
  return head + std::to_string(done) + "/" + std::to_string(total) + " segments  " +
         FormatBytePair(SegmentBytes(done), SegmentBytes(total));
}

void DownloadProgress::Begin(std::int64_t total, Clock::TimePoint now) {
  active_ = true;
  total_ = total;
  done_ = 0;
  last_tenth_ = 0;
  start_ = now;
  now_ = now;
}

bool DownloadProgress::Update(std::int64_t done, Clock::TimePoint now) {
  if (!active_) return false;
  done_ = done;
  now_ = now;
  return true;
}

ProgressSample DownloadProgress::Sample() const {
  const std::chrono::duration<double> elapsed = now_ - start_;
  return ProgressSample{done_, total_, elapsed.count()};
}

bool DownloadProgress::ReachedNewTenth() {
  const int tenth = ProgressTenth(Sample());
  if (tenth <= last_tenth_) return false;
  last_tenth_ = tenth;
  return true;
}

}  // namespace kvx
