// The standard streams as CRT descriptors over Windows handles: a console, a pipe or a file.
//
// A console reads a line at a time (the console echoes and edits it), so its input is ready
// once a whole line has been typed. Pipes cannot be waited on: readiness is looked at with
// PeekNamedPipe every few milliseconds, which is also how the interrupt descriptor (a pipe the
// interrupt watch writes to) is watched.
#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <initializer_list>

namespace kvx {
namespace {

constexpr DWORD kPollMilliseconds = 10;

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// Whether the console's input holds a finished line, so a read returns without waiting.
bool ConsoleLineTyped(HANDLE console) {
  DWORD count = 0;
  if (!GetNumberOfConsoleInputEvents(console, &count) || count == 0) return false;
  INPUT_RECORD records[64];
  DWORD read = 0;
  if (!PeekConsoleInputW(console, records, count < 64 ? count : 64, &read)) return true;
  for (DWORD i = 0; i < read; ++i) {
    const INPUT_RECORD& record = records[i];
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
        record.Event.KeyEvent.uChar.UnicodeChar == L'\r') {
      return true;
    }
  }
  return false;
}

// Whether a pipe has a byte, or its writer has gone (the read then reports the end).
bool PipeReady(HANDLE pipe) {
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return true;
  return available > 0;
}

bool Ready(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return true;  // the read reports the error
  switch (GetFileType(handle)) {
    case FILE_TYPE_PIPE:
      return PipeReady(handle);
    case FILE_TYPE_CHAR:
      return IsConsole(handle) ? ConsoleLineTyped(handle) : true;
    default:
      return true;
  }
}

bool Interrupted(int interrupt_fd) {
  if (interrupt_fd < 0) return false;
  DWORD available = 0;
  return PeekNamedPipe(HandleOf(interrupt_fd), nullptr, 0, nullptr, &available, nullptr) &&
         available > 0;
}

}  // namespace

bool IsTerminal(int fd) {
  return IsConsole(HandleOf(fd));
}

int TerminalColumns(int fd) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(HandleOf(fd), &info)) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

bool InputReady(int input_fd) {
  return Ready(HandleOf(input_fd));
}

ConsoleRead ReadByteOrInterrupt(int input_fd, int interrupt_fd, char& byte) {
  const HANDLE input = HandleOf(input_fd);
  const bool console = IsConsole(input);
  for (;;) {
    if (Interrupted(interrupt_fd)) return ConsoleRead::kInterrupted;
    // A console read blocks until Enter but gives way to Ctrl-C, so the operator sees the line
    // as it is typed; every other kind of input is read only once it is ready.
    if (console || Ready(input)) break;
    Sleep(kPollMilliseconds);
  }
  for (;;) {
    DWORD count = 0;
    const BOOL ok = ReadFile(input, &byte, 1, &count, nullptr);
    if (ok && count == 1) return ConsoleRead::kByte;
    if (!console || GetLastError() != ERROR_OPERATION_ABORTED) return ConsoleRead::kEnd;
    // Ctrl-C ended the console read; its handler runs on a thread of its own, just after.
    for (int waited = 0; waited < 1000; waited += kPollMilliseconds) {
      if (Interrupted(interrupt_fd)) return ConsoleRead::kInterrupted;
      Sleep(kPollMilliseconds);
    }
  }
}

// Windows has no SIGPIPE: a write to a pipe whose reader has gone already fails (EPIPE).
// Windows has no SIGPIPE: a write to a closed pipe already fails.
void SetUpStandardStreams() {
  for (const int fd : {kStandardInput, kStandardOutput, kStandardError}) _setmode(fd, _O_BINARY);
  // Text reaches the streams in the ANSI code page (Utf8ToLocale), which a console shows only in
  // that page; it starts in the OEM one.
  SetConsoleOutputCP(GetACP());
}

}  // namespace kvx
