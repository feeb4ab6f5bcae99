// The standard streams over pipes, as when kvx-flash runs under a script: readiness, one byte at
// a time, the end of input, and the interrupt descriptor winning over a silent input.
#include "platform/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <chrono>
#include <thread>

namespace kvx {
namespace {

// Both ends of a CRT pipe, closed at the end of the test.
class Pipe {
 public:
  Pipe() { ok_ = _pipe(fds_, 256, _O_BINARY) == 0; }
  ~Pipe() {
    CloseWriter();
    if (ok_) _close(fds_[0]);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  bool ok() const { return ok_; }
  int reader() const { return fds_[0]; }
  bool Write(const char* text, unsigned size) {
    return _write(fds_[1], text, size) == static_cast<int>(size);
  }
  void CloseWriter() {
    if (ok_ && fds_[1] >= 0) _close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2] = {-1, -1};
  bool ok_ = false;
};

TEST(ConsoleTest, APipeIsNoTerminalAndHasTheDefaultWidth) {
  Pipe pipe;
  ASSERT_TRUE(pipe.ok());
  EXPECT_FALSE(IsTerminal(pipe.reader()));
  EXPECT_EQ(TerminalColumns(pipe.reader()), 80);
}

TEST(ConsoleTest, ReadsOneByteAtATimeAndReportsTheEnd) {
  Pipe input;
  ASSERT_TRUE(input.ok());
  EXPECT_FALSE(InputReady(input.reader()));
  ASSERT_TRUE(input.Write("y\r\n", 3));
  EXPECT_TRUE(InputReady(input.reader()));
  char byte = 0;
  ASSERT_EQ(ReadByteOrInterrupt(input.reader(), -1, byte), ConsoleRead::kByte);
  EXPECT_EQ(byte, 'y');
  EXPECT_TRUE(InputReady(input.reader())) << "the rest of the line stays in the pipe";
  ASSERT_EQ(ReadByteOrInterrupt(input.reader(), -1, byte), ConsoleRead::kByte);
  ASSERT_EQ(ReadByteOrInterrupt(input.reader(), -1, byte), ConsoleRead::kByte);
  EXPECT_EQ(byte, '\n');
  EXPECT_FALSE(InputReady(input.reader()));
  input.CloseWriter();
  EXPECT_TRUE(InputReady(input.reader())) << "the end is something to read";
  EXPECT_EQ(ReadByteOrInterrupt(input.reader(), -1, byte), ConsoleRead::kEnd);
}

TEST(ConsoleTest, AnInterruptEndsTheWaitAndLeavesTheInputUnread) {
  Pipe input;
  Pipe interrupt;
  ASSERT_TRUE(input.ok() && interrupt.ok());
  std::thread operator_presses_ctrl_c([&interrupt] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    interrupt.Write("!", 1);
  });
  char byte = 0;
  EXPECT_EQ(ReadByteOrInterrupt(input.reader(), interrupt.reader(), byte),
            ConsoleRead::kInterrupted);
  operator_presses_ctrl_c.join();
  ASSERT_TRUE(input.Write("n", 1));
  EXPECT_EQ(ReadByteOrInterrupt(input.reader(), interrupt.reader(), byte),
            ConsoleRead::kInterrupted)
      << "the interrupt stays readable";
  EXPECT_TRUE(InputReady(input.reader()));
}

TEST(ConsoleTest, InputThatArrivesLaterIsRead) {
  Pipe input;
  Pipe interrupt;
  ASSERT_TRUE(input.ok() && interrupt.ok());
  std::thread operator_types([&input] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    input.Write("y", 1);
  });
  char byte = 0;
  EXPECT_EQ(ReadByteOrInterrupt(input.reader(), interrupt.reader(), byte), ConsoleRead::kByte);
  EXPECT_EQ(byte, 'y');
  operator_types.join();
}

}  // namespace
}  // namespace kvx
