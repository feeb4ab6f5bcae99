#include "platform/trace.h"

#include <gtest/gtest.h>

#include <ctime>

namespace kvx {
namespace {

// 5 March 2019, 14:07:09.042 local time.
std::chrono::system_clock::time_point SampleTime() {
  std::tm local{};
  local.tm_year = 2019 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 5;
  local.tm_hour = 14;
  local.tm_min = 7;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local)) +
         std::chrono::milliseconds(42);
}

TEST(TraceLineTest, LayoutIsTimestampMarkerTextAndALineEndOnlyWhenTheTextHasNone) {
  struct Case {
    const char* why;
    std::string text;
    int kind;
    std::string expected;
  };
  const Case cases[] = {
      {"a sent command keeps its own line feed", "AT\n", LOG_TX,
       "[2019/03/05 14:07:09.042]T: AT\n"},
      {"plain text without a line end gets one", "port search complete", LOG_TEXT,
       "[2019/03/05 14:07:09.042] port search complete\n"},
      {"a received line ending in CR LF gets no second end", "OK\r\n", LOG_RX,
       "[2019/03/05 14:07:09.042]R: OK\r\n"},
      {"a CR anywhere suppresses the added line end", "a\rb", LOG_TEXT,
       "[2019/03/05 14:07:09.042] a\rb"},
      {"an empty text is timestamp, marker and a line feed", "", LOG_TEXT,
       "[2019/03/05 14:07:09.042] \n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatTraceLine(c.text, c.kind, SampleTime()), c.expected) << c.why;
  }
}

TEST(TraceStoreTest, KeepsLinesWithColourAndKindAndIgnoresUnknownKinds) {
  TraceStore store;
  EXPECT_TRUE(store.Append("AT\n", kTraceBrown, LOG_TX, SampleTime()));
  EXPECT_FALSE(store.Append("kind 0", kTraceRed, 0));
  EXPECT_FALSE(store.Append("kind 4", kTraceRed, 4));
  ASSERT_EQ(store.size(), 1u);
  const auto lines = store.Lines();
  EXPECT_EQ(lines[0].text, "[2019/03/05 14:07:09.042]T: AT\n");
  EXPECT_EQ(lines[0].colour, kTraceBrown);
  EXPECT_EQ(lines[0].kind, LOG_TX);
}

TEST(TraceStoreTest, CleanEmptiesTheStoreAndTellsTheListener) {
  TraceStore store;
  int changes = 0;
  store.SetListener([&] { ++changes; });
  store.Append("one", kTraceBlack, LOG_TEXT);
  store.Append("two", kTraceBlack, LOG_TEXT);
  const auto generation = store.generation();
  store.Clean();
  EXPECT_EQ(store.size(), 0u);
  EXPECT_NE(store.generation(), generation);
  EXPECT_EQ(changes, 3);
  store.Append("three", kTraceBlack, LOG_TEXT);
  EXPECT_EQ(store.Lines().at(0).text.substr(25), " three\n");
}

TEST(TraceStoreTest, KeepsOnlyTheNewestLinesAndReadersSkipWhatWasDropped) {
  TraceStore store;
  const std::size_t total = TraceStore::kMaxLines + 10;
  for (std::size_t i = 0; i < total; ++i) {
    store.Append(std::to_string(i), kTraceBlack, LOG_TEXT, SampleTime());
  }
  EXPECT_EQ(store.size(), total) << "numbering goes on past the dropped lines";
  EXPECT_EQ(store.Lines().size(), TraceStore::kMaxLines);
  EXPECT_EQ(store.Lines().front().text.substr(25), " 10\n");

  const TraceSlice behind = store.Slice(3);  // a reader that fell behind the oldest kept line
  EXPECT_EQ(behind.lines.front().text.substr(25), " 10\n");
  EXPECT_EQ(behind.next, total);
  const TraceSlice tail = store.Slice(total - 2);
  ASSERT_EQ(tail.lines.size(), 2u);
  EXPECT_EQ(tail.lines.back().text.substr(25), " " + std::to_string(total - 1) + "\n");
  EXPECT_TRUE(store.Slice(total).lines.empty());
  EXPECT_EQ(store.Slice(total + 5).next, total);

  store.Clean();
  store.Append("again", kTraceBlack, LOG_TEXT, SampleTime());
  EXPECT_EQ(store.size(), 1u);
  EXPECT_EQ(store.Slice(0).lines.size(), 1u);
}

}  // namespace
}  // namespace kvx
