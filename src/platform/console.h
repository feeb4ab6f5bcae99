// The program's standard streams and the terminal behind them: whether a stream is a terminal,
// how wide it is, one byte of the operator's answer at a time, and writes to a reader that has
// gone away.
//
// Streams are named by their descriptor numbers, which stay open for the life of the process
// and are not owned here. Every function may be called from any thread; none keeps state,
// except SetUpStandardStreams, which sets process-wide dispositions.
#pragma once

namespace kvx {

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// Whether `fd` is a terminal.
bool IsTerminal(int fd);

// The width of the terminal on `fd` in columns, 80 when it cannot be read.
int TerminalColumns(int fd);

enum class ConsoleRead {
  kByte,         // one byte was read
  kEnd,          // end of input, or the input cannot be read
  kInterrupted,  // `interrupt_fd` became readable first
};

// Waits until `input_fd` has a byte or `interrupt_fd` (-1: none) becomes readable, and reads
// exactly one byte, so nothing after it is taken from the input. Blocks the calling thread.
ConsoleRead ReadByteOrInterrupt(int input_fd, int interrupt_fd, char& byte);

// Whether `input_fd` has something to read now (or has reached its end); never blocks.
bool InputReady(int input_fd);

// Sets the standard streams up for the program's UTF-8 text: writing to a pipe whose reader has
// gone then fails (EPIPE) instead of ending the process; on Windows the streams pass bytes as they
// are (no CR added before LF) and a console shows the ANSI code page, the locale's text. Call from
// main before other threads start.
void SetUpStandardStreams();

}  // namespace kvx
