#include "cli/trace_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvx {
namespace {

class CollectedLines {
 public:
  TraceWriter::LineSink Sink() {
    return [this](std::string_view line) {
      std::lock_guard guard(mutex_);
      lines_.emplace_back(line);
    };
  }
  std::vector<std::string> lines() const {
    std::lock_guard guard(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::string Ending(const std::string& line) {
  // The text after the timestamp and marker: "[YYYY/MM/DD hh:mm:ss.mmm] "
  return line.substr(line.find(']') + 2);
}

TEST(TraceWriter, WritesWhatCameBeforeAttachingAndEachLaterLineOnce) {
  TraceStore store;
  store.Append("banner\r\n", kTraceRed, LOG_TEXT);
  CollectedLines out;
  TraceWriter writer(out.Sink());
  writer.Attach(store);
  store.Append("AT+CEXT=1\n", kTraceBrown, LOG_TX);
  store.Append("OK", kTraceBlue, LOG_RX);
  writer.Flush(store);  // an extra flush finds nothing new

  const auto lines = out.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Ending(lines[0]), "banner\r\n");
  EXPECT_EQ(lines[1].substr(lines[1].find(']') + 1), "T: AT+CEXT=1\n") << "the marker is kept";
  EXPECT_EQ(lines[2].substr(lines[2].find(']') + 1), "R: OK\n");
  EXPECT_EQ(lines[0].front(), '[') << "the timestamp is kept";
}

TEST(TraceWriter, LinesAfterACleanAreWrittenFromTheirFirst) {
  TraceStore store;
  CollectedLines out;
  TraceWriter writer(out.Sink());
  writer.Attach(store);
  store.Append("one\n", kTraceBlack, LOG_TEXT);
  store.Append("two\n", kTraceBlack, LOG_TEXT);
  store.Clean();
  store.Append("three\n", kTraceBlack, LOG_TEXT);
  const auto lines = out.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Ending(lines[2]), "three\n");
}

TEST(TraceWriter, ConcurrentAppendsAreWrittenExactlyOnceEach) {
  TraceStore store;
  CollectedLines out;
  TraceWriter writer(out.Sink());
  store.Append("before\n", kTraceBlack, LOG_TEXT);
  constexpr int kThreads = 4;
  constexpr int kLinesEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&store, t] {
      for (int i = 0; i < kLinesEach; ++i) {
        store.Append(std::to_string(t) + ":" + std::to_string(i) + "\n", kTraceBlack, LOG_TEXT);
      }
    });
  }
  writer.Attach(store);  // while the others append
  for (auto& thread : threads) thread.join();

  std::map<std::string, int> seen;
  for (const std::string& line : out.lines()) ++seen[Ending(line)];
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLinesEach + 1));
  for (const auto& [text, count] : seen) EXPECT_EQ(count, 1) << text;
  // Each thread's lines keep their order.
  std::map<int, int> next;
  for (const std::string& line : out.lines()) {
    const std::string text = Ending(line);
    if (text == "before\n") continue;
    const int thread = std::stoi(text.substr(0, text.find(':')));
    EXPECT_EQ(std::stoi(text.substr(text.find(':') + 1)), next[thread]++) << text;
  }
}

}  // namespace
}  // namespace kvx
