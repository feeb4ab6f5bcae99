#include "cli/progress_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace kvx {
namespace {

TEST(ProgressFigures, PercentAndTenthsRoundDownAndStayInRange) {
  const struct {
    const char* why;
    ProgressSample sample;
    int percent;
    int tenth;
  } cases[] = {
      {"nothing done", {0, 64, 0}, 0, 0},
      {"just short of a tenth", {6, 64, 0}, 9, 0},
      {"a tenth reached", {7, 64, 0}, 10, 1},
      {"one segment short of all is not 100%", {63, 64, 0}, 98, 9},
      {"all done", {64, 64, 0}, 100, 10},
      {"a count beyond the range is clamped", {70, 64, 0}, 100, 10},
      {"a negative count is clamped", {-3, 64, 0}, 0, 0},
      {"an empty range", {5, 0, 0}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ProgressPercent(c.sample), c.percent);
    EXPECT_EQ(ProgressTenth(c.sample), c.tenth);
  }
}

TEST(ProgressFigures, DurationsReadAsClockTimes) {
  EXPECT_EQ(FormatDuration(0), "0:00");
  EXPECT_EQ(FormatDuration(6.2), "0:07") << "rounded up: never promises less than is left";
  EXPECT_EQ(FormatDuration(754), "12:34");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
  EXPECT_EQ(FormatDuration(-1), "--:--");
  EXPECT_EQ(FormatDuration(NAN), "--:--");
  EXPECT_EQ(FormatDuration(INFINITY), "--:--");
}

TEST(ProgressFigures, BytePairsShareTheUnitOfTheTotal) {
  EXPECT_EQ(FormatBytePair(0, 768 * 1024), "0/768 KiB");
  EXPECT_EQ(FormatBytePair(448 * 1024, 768 * 1024), "448/768 KiB");
  EXPECT_EQ(FormatBytePair(128 * 1024, 4 * 1024 * 1024), "0.1/4.0 MiB");
}

TEST(ProgressBar, ShowsSegmentsBytesRateAndTimeLeft) {
  // 16 of 64 segments (1 MiB of 4 MiB) in 8 s: 128 KiB/s, 3 MiB left: 24 s.
  const std::string line = FormatProgressBar({16, 64, 8.0}, 100);
  EXPECT_NE(line.find(" 25%"), std::string::npos) << line;
  EXPECT_NE(line.find("16/64 seg"), std::string::npos) << line;
  EXPECT_NE(line.find("1.0/4.0 MiB"), std::string::npos) << line;
  EXPECT_NE(line.find("128.0 KiB/s"), std::string::npos) << line;
  EXPECT_NE(line.find("0:24 left"), std::string::npos) << line;
  EXPECT_EQ(line.front(), '[');
  EXPECT_LE(line.size(), 100u);
}

TEST(ProgressBar, FillsInProportionToSegmentsDone) {
  const auto filled = [](const std::string& line) {
    const auto end = line.find(']');
    return std::count(line.begin(), line.begin() + static_cast<long>(end), '=');
  };
  const std::string empty = FormatProgressBar({0, 10, 0}, 100);
  const std::string half = FormatProgressBar({5, 10, 2}, 100);
  const std::string full = FormatProgressBar({10, 10, 4}, 100);
  const auto inner = static_cast<long>(full.find(']') - 1);
  EXPECT_EQ(filled(empty), 0);
  EXPECT_EQ(filled(half), inner / 2);
  EXPECT_EQ(filled(full), inner);
}

TEST(ProgressBar, FastRatesReadInMiBPerSecond) {
  const std::string line = FormatProgressBar({32, 64, 1.0}, 100);  // 2 MiB in 1 s
  EXPECT_NE(line.find("2.0 MiB/s"), std::string::npos) << line;
}

TEST(ProgressBar, SaysNothingAboutRateBeforeTheFirstSegment) {
  const std::string line = FormatProgressBar({0, 64, 30.0}, 100);
  EXPECT_NE(line.find("-- KiB/s"), std::string::npos) << line;
  EXPECT_NE(line.find("--:-- left"), std::string::npos) << line;
}

TEST(ProgressBar, KeepsItsLengthWhileTheCountsGrow) {
  const std::size_t first = FormatProgressBar({1, 120, 1.0}, 100).size();
  EXPECT_EQ(FormatProgressBar({57, 120, 60.0}, 100).size(), first);
  EXPECT_EQ(FormatProgressBar({120, 120, 125.0}, 100).size(), first);
}

TEST(ProgressBar, NarrowTerminalsLoseTheBarFirstThenFiguresFromTheRight) {
  const ProgressSample sample{16, 64, 8.0};
  for (int width = 100; width >= 0; --width) {
    SCOPED_TRACE(width);
    EXPECT_LE(FormatProgressBar(sample, width).size(), static_cast<std::size_t>(width));
  }
  const std::string narrow = FormatProgressBar(sample, 40);
  EXPECT_EQ(narrow.find('['), std::string::npos) << narrow;
  EXPECT_NE(narrow.find(" 25%"), std::string::npos) << narrow;
  EXPECT_EQ(narrow.find("left"), std::string::npos) << narrow;
}

TEST(ProgressTenthLine, NamesPercentSegmentsAndBytes) {
  EXPECT_EQ(FormatTenthLine({21, 64, 3.0}), "progress  32%  21/64 segments  1.3/4.0 MiB");
  EXPECT_EQ(FormatTenthLine({12, 12, 3.0}), "progress 100%  12/12 segments  768/768 KiB");
}

}  // namespace
}  // namespace kvx
