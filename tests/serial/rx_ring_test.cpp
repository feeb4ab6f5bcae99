#include "serial/rx_ring.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kvx {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSYN = 0x96;
constexpr std::uint8_t kSTX = 0x82;

Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A download record as handed out (from the second SYN on): 14-byte head with the body length at
// offset 6, the body, then five closing bytes.
Bytes Record(std::uint32_t body_length, std::uint8_t command = 'W') {
  Bytes record = {kSYN, kSTX, command, 0x01, 0x00, 0x00};
  for (int shift = 0; shift < 32; shift += 8) record.push_back((body_length >> shift) & 0xff);
  record.insert(record.end(), {0x11, 0x22, 0x33, 0x44});
  for (std::uint32_t i = 0; i < body_length; ++i)
    record.push_back(static_cast<std::uint8_t>(i % 61));
  record.insert(record.end(), {0x55, 0x66, 0x77, 0x01, 0x03});
  return record;
}

// The same record as the terminal sends it: with the first SYN.
Bytes Wire(const Bytes& record) {
  return Concat({{kSYN}, record});
}

// Takes lines (or frames) the way the engine does after each notification: until a take returns
// 0 or -1.
std::vector<std::string> TakeLines(RxRing& ring) {
  std::vector<std::string> lines;
  std::vector<char> buffer(RxRing::kMaxTake);
  for (int n; (n = ring.GetLine(buffer)) > 0;) {
    EXPECT_EQ(buffer[n], '\0');
    lines.emplace_back(buffer.data(), n);
  }
  return lines;
}

std::vector<Bytes> TakeFrames(RxRing& ring) {
  std::vector<Bytes> frames;
  Bytes buffer(RxRing::kMaxTake);
  for (int n; (n = ring.GetFrame(buffer)) > 0;)
    frames.emplace_back(buffer.begin(), buffer.begin() + n);
  return frames;
}

struct LineCase {
  const char* reason;
  std::string stream;
  std::vector<std::string> lines;
};

const LineCase kLineCases[] = {
    {"a reply's CR LF makes the line with CR LF, then a line of its lone LF",
     std::string("AT\r\nOK\r\n"),
     {"AT\r\n", "\n", "OK\r\n", "\n"}},
    {"NUL bytes are dropped from the line", std::string("O\0K\0\r", 5), {"OK\r\n"}},
    {"a line ended by LF alone keeps just the LF", "+HWVER: 1.2.3\n", {"+HWVER: 1.2.3\n"}},
    {"a bare CR is an empty line", "\r", {"\r\n"}},
    {"bytes after the last line end wait for theirs", "OK\r\n+STA", {"OK\r\n", "\n"}},
};

// Every case fed in two pieces, split at every possible boundary, gives the same lines.
TEST(RxRingLines, StreamSplitAtEveryBoundaryGivesTheSameLines) {
  for (const LineCase& c : kLineCases) {
    for (std::size_t split = 0; split <= c.stream.size(); ++split) {
      SCOPED_TRACE(testing::Message() << c.reason << ", split at " << split);
      RxRing ring;
      ring.Append(ToBytes(c.stream.substr(0, split)));
      std::vector<std::string> lines = TakeLines(ring);
      ring.Append(ToBytes(c.stream.substr(split)));
      for (std::string& line : TakeLines(ring)) lines.push_back(std::move(line));
      EXPECT_EQ(lines, c.lines);
    }
  }
}

TEST(RxRingLines, TakeReportsNothingUnreadAsZeroAndAnIncompleteLineAsMinusOne) {
  RxRing ring;
  std::vector<char> buffer(64);
  EXPECT_EQ(ring.GetLine(buffer), 0);
  ring.Append(ToBytes("OK"));
  EXPECT_EQ(ring.GetLine(buffer), -1);
  EXPECT_EQ(ring.unread(), 2);  // nothing consumed
  ring.Append(ToBytes("\r"));
  ASSERT_EQ(ring.GetLine(buffer), 4);
  EXPECT_EQ(std::string(buffer.data()), "OK\r\n");
  EXPECT_EQ(ring.GetLine(buffer), 0);
}

TEST(RxRingLines, LineLongerThanTheBufferKeepsItsBeginningAndLineEnd) {
  RxRing ring;
  ring.Append(ToBytes("+SYSVER: ABCDEFGHIJ\r"));
  std::vector<char> buffer(8);
  ASSERT_EQ(ring.GetLine(buffer), 7);
  EXPECT_EQ(std::string(buffer.data()), "+SYSV\r\n");
  EXPECT_EQ(ring.unread(), 0);  // the whole line was taken
}

TEST(RxRingLines, BufferTooSmallForALineEndConsumesNothing) {
  RxRing ring;
  ring.Append(ToBytes("OK\r"));
  std::vector<char> buffer(2);
  EXPECT_EQ(ring.GetLine(buffer), -1);
  EXPECT_EQ(ring.unread(), 3);
}

// Moves the read and write index to `position` by taking one long line.
void AdvanceTo(RxRing& ring, int position) {
  ring.Append(Concat({Bytes(position - 1, 'x'), {'\n'}}));
  std::vector<char> buffer(RxRing::kMaxTake);
  ASSERT_EQ(ring.GetLine(buffer), position);
  ASSERT_EQ(ring.unread(), 0);
}

TEST(RxRingLines, LineStraddlingTheEndOfTheRingComesOutWhole) {
  RxRing ring;
  AdvanceTo(ring, RxRing::kSize - 4);
  ring.Append(ToBytes("+CEXT: 1\r"));
  EXPECT_EQ(TakeLines(ring), std::vector<std::string>{"+CEXT: 1\r\n"});
}

TEST(RxRingLines, TakeThatLeavesTheOverflowMarkUnreadEmptiesTheRing) {
  RxRing ring;
  ring.Append(Concat({ToBytes("OK\r"), Bytes(RxRing::kOverflow, 'z')}));
  std::vector<char> buffer(RxRing::kMaxTake);
  EXPECT_EQ(ring.GetLine(buffer), -1);  // the line just taken is discarded with the rest
  EXPECT_EQ(ring.unread(), 0);
  EXPECT_EQ(ring.GetLine(buffer), 0);
}

TEST(RxRingLines, IncompleteLineAtTheOverflowMarkEmptiesTheRing) {
  RxRing ring;
  ring.Append(Bytes(RxRing::kOverflow, 'z'));
  std::vector<char> buffer(64);
  EXPECT_EQ(ring.GetLine(buffer), -1);
  EXPECT_EQ(ring.unread(), 0);
}

TEST(RxRingAppend, FullRingKeepsTheWaitingBytesAndDropsTheNewest) {
  RxRing ring;
  EXPECT_EQ(ring.Append(Concat({Bytes(RxRing::kSize - 1, 'a'), {'\r'}})),
            static_cast<std::size_t>(RxRing::kSize));
  EXPECT_EQ(ring.Append(ToBytes("LOST\r")), 0u);
  EXPECT_EQ(ring.unread(), RxRing::kSize);
  std::vector<char> buffer(RxRing::kMaxTake);
  ASSERT_EQ(ring.GetLine(buffer), RxRing::kSize + 1);
  EXPECT_EQ(std::string(buffer.data() + RxRing::kSize - 2), "a\r\n");
  EXPECT_EQ(ring.GetLine(buffer), 0);  // the dropped line never arrived
}

TEST(RxRingAppend, ResetEmptiesTheRingAndForgetsAWaitingFrame) {
  RxRing ring;
  const Bytes wire = Wire(Record(40));
  ring.Append(Bytes(wire.begin(), wire.begin() + 25));
  Bytes buffer(RxRing::kMaxTake);
  EXPECT_EQ(ring.GetFrame(buffer), 0);
  ring.Reset();
  EXPECT_EQ(ring.unread(), 0);
  const Bytes small = Record(1);
  ring.Append(Wire(small));
  EXPECT_EQ(TakeFrames(ring), std::vector<Bytes>{small});
}

struct FrameCase {
  const char* reason;
  Bytes stream;
  std::vector<Bytes> frames;
};

std::vector<FrameCase> FrameCases() {
  const Bytes a = Record(3, 'S');
  const Bytes b = Record(0, 'F');
  const Bytes c = Record(300, 'W');
  Bytes absurd = Record(0);
  absurd[6] = 0xf0, absurd[7] = 0xff, absurd[8] = 0xff, absurd[9] = 0xff;  // n = 0xfffffff0
  absurd.resize(14);
  return {
      {"one frame comes out from its second SYN on", Wire(a), {a}},
      {"garbage before SYN SYN STX is discarded",
       Concat({{0x01, kSYN, 0x41, kSTX, 0x00}, Wire(a)}),
       {a}},
      {"frames back to back come out one by one", Concat({Wire(a), Wire(b), Wire(c)}), {a, b, c}},
      {"a head whose length cannot fit the ring is refused and the next frame found",
       Concat({{kSYN}, absurd, Wire(a)}),
       {a}},
  };
}

// A frame whose head has come but whose body has not returns 0 and keeps its place, at every
// possible split.
TEST(RxRingFrames, StreamSplitAtEveryBoundaryGivesTheSameFrames) {
  for (const FrameCase& c : FrameCases()) {
    for (std::size_t split = 0; split <= c.stream.size(); ++split) {
      SCOPED_TRACE(testing::Message() << c.reason << ", split at " << split);
      RxRing ring;
      ring.Append(std::span(c.stream).first(split));
      std::vector<Bytes> frames = TakeFrames(ring);
      ring.Append(std::span(c.stream).subspan(split));
      for (Bytes& frame : TakeFrames(ring)) frames.push_back(std::move(frame));
      EXPECT_EQ(frames, c.frames);
    }
  }
}

TEST(RxRingFrames, FrameStraddlingTheEndOfTheRingComesOutWhole) {
  RxRing ring;
  AdvanceTo(ring, RxRing::kSize - 10);
  const Bytes frame = Record(20);
  ring.Append(Wire(frame));
  EXPECT_EQ(TakeFrames(ring), std::vector<Bytes>{frame});
}

TEST(RxRingFrames, FrameLongerThanTheCallersBufferIsRefusedNotCopied) {
  RxRing ring;
  const Bytes big = Record(100);
  const Bytes small = Record(4);
  ring.Append(Concat({Wire(big), Wire(small)}));
  Bytes buffer(64, 0xee);
  ASSERT_EQ(ring.GetFrame(buffer), static_cast<int>(small.size()));
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + small.size()), small);
  EXPECT_EQ(buffer[small.size()], 0xee);  // nothing written past the record
}

// Regression: a head read from garbage before any pattern held its body length, and made a frame
// found after it wait for that many bytes.
TEST(RxRingFrames, GarbageHeadDoesNotHoldBackAFrameFoundAfterIt) {
  RxRing ring;
  Bytes garbage(20, 0x00);
  garbage[6] = 100;  // a "body length" of 100
  ring.Append(garbage);
  Bytes buffer(RxRing::kMaxTake);
  EXPECT_EQ(ring.GetFrame(buffer), 0);
  const Bytes frame = Record(2);
  ring.Append(Wire(frame));
  EXPECT_EQ(TakeFrames(ring), std::vector<Bytes>{frame});
}

TEST(RxRingFrames, TakeThatLeavesTheOverflowMarkUnreadEmptiesTheRing) {
  RxRing ring;
  ring.Append(Concat({Wire(Record(2)), Bytes(RxRing::kOverflow, 0x00)}));
  Bytes buffer(RxRing::kMaxTake);
  EXPECT_EQ(ring.GetFrame(buffer), -1);
  EXPECT_EQ(ring.unread(), 0);
}

TEST(RxRingFrames, GarbageWithAbsurdLengthsIsDroppedButForAPossibleSynPair) {
  RxRing ring;
  ring.Append(Bytes(RxRing::kOverflow - 100, 0xff));  // every "head" in it claims 4 GiB
  Bytes buffer(RxRing::kMaxTake);
  EXPECT_EQ(ring.GetFrame(buffer), 0);
  EXPECT_EQ(ring.unread(), 2);
  const Bytes frame = Record(8);
  ring.Append(Wire(frame));
  EXPECT_EQ(TakeFrames(ring), std::vector<Bytes>{frame});
  EXPECT_EQ(ring.unread(), 0);
}

}  // namespace
}  // namespace kvx
