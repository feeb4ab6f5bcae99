// Progress texts for the download: the bar drawn on a terminal and the line written for every
// tenth of the image when standard error is a file or a pipe.
//
// Progress is counted in segments acknowledged out of the segments of the download
// (WM_USER_PROG_PROC out of WM_USER_PROG_SETUP). Bytes are segments of 64 KiB: the last segment
// of an image may be shorter, so byte figures are upper bounds by less than one segment.
//
// Pure functions of their arguments; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace kvx {

struct ProgressSample {
  std::int64_t done = 0;         // segments acknowledged so far
  std::int64_t total = 0;        // segments of the download
  double elapsed_seconds = 0.0;  // since the download's range was announced
};

// Whole percent, rounded down, so 100 means every segment is acknowledged. Counts outside
// 0..total are clamped; a total of 0 or less gives 0.
int ProgressPercent(const ProgressSample& sample);

// How many tenths of the download are done, 0 to 10 (rounded down).
int ProgressTenth(const ProgressSample& sample);

// "1.8/4.0 MiB" from 1 MiB on, else "448/960 KiB": both in the unit of `total`.
std::string FormatBytePair(std::uint64_t done, std::uint64_t total);
// "0:07", "12:34", "1:02:03"; negative or non-finite values give "--:--".
std::string FormatDuration(double seconds);

// One line of at most `width` columns (ASCII only, no line end):
//   "[=========>          ]  45%  29/64 seg  1.8/4.0 MiB  26.2 KiB/s  1:23 left"
// The rate is in KiB/s, or MiB/s from 1 MiB/s on; rate and time left read "--" until a segment
// has been acknowledged. On narrow terminals the
// bar is dropped first, then the figures from the right.
std::string FormatProgressBar(const ProgressSample& sample, int width);

// The line for a tenth reached: "progress  30%  20/64 segments  1.3/4.0 MiB".
std::string FormatTenthLine(const ProgressSample& sample);

// One download as an output follows it: begun with its total, moved on by each acknowledged
// segment, ended with the run. Not synchronised: the output that owns it guards it.
class DownloadProgress {
 public:
  void Begin(std::int64_t total, Clock::TimePoint now);
  // False, and nothing changes, while no download runs.
  bool Update(std::int64_t done, Clock::TimePoint now);
  void End() { active_ = false; }

  bool active() const { return active_; }
  ProgressSample Sample() const;
  // True once for each tenth the download reaches (the lines written where no bar is drawn).
  bool ReachedNewTenth();

 private:
  bool active_ = false;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
  int last_tenth_ = 0;
  Clock::TimePoint start_{};
  Clock::TimePoint now_{};
};

}  // namespace kvx
