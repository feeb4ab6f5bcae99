// upgrader-window-driver.exe: runs kvx-upgrader.exe and works its window from outside as an
// operator would, with BM_CLICK on its buttons, and says on its output what it saw. The Linux
// test (tests/wine) that starts it checks the terminal and the files.
//
//   upgrader-window-driver.exe <kvx-upgrader.exe> <COM port> upgrade
//     confirms the start-up warning, waits for the remembered port to be selected, presses
//     Start, and at the completion prompt presses Exit.
//   upgrader-window-driver.exe <kvx-upgrader.exe> <COM port> busy-then-upgrade <gate folder>
//     as upgrade, but first presses Start while the port cannot be opened: it says
//     "waiting: busy" and waits for the file "busy" in the gate folder (the caller makes the port
//     busy first), presses Start, answers every box that follows, says the buttons' states,
//     then says "waiting: free" and waits for the file "free" before it chooses the port again
//     in the port setup dialog and runs the upgrade that completes.
//
//   upgrader-window-driver.exe <kvx-upgrader.exe> <COM port> upgrade-twice <gate folder>
//     as upgrade, but at the first completion prompt presses Upgrade, says "waiting: next" and
//     waits for the file "next" (the caller's next terminal is on the line), and presses Start
//     again.
//
// Output lines: "box: <text>", "title: <caption>", "enabled: <start> <open> <portsetup>",
// "status: <status line>", "prompt", "exit code: <n>"; a failure ends with "failed: <why>" and
// exit code 1.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "operator/control_ids.h"
#include "platform/wide_text.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kStepTimeout = 180s;
constexpr int kMessageBoxText = 0xFFFF;  // the static control holding a message box's text
constexpr int kPortList = 1001;

[[noreturn]] void Fail(const std::string& why) {
  std::printf("failed: %s\n", why.c_str());
  std::fflush(stdout);
  std::exit(1);
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Polls `found` until it gives a window or the step's time is up.
HWND WaitForWindow(const std::function<HWND()>& found, const std::string& what) {
  const auto deadline = Clock::now() + kStepTimeout;
  while (Clock::now() < deadline) {
    if (HWND window = found()) return window;
    std::this_thread::sleep_for(50ms);
  }
  Fail("no " + what + " in time");
}

void WaitUntil(const std::function<bool()>& done, const std::string& what) {
  WaitForWindow([&] { return done() ? GetDesktopWindow() : nullptr; }, what);
}

std::string TextOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, &copied);
  return kvx::Utf8FromWide(std::wstring(text, static_cast<std::size_t>(copied)));
}

// The visible top-level windows of the process that satisfy `matches`, the first one found.
HWND FindProcessWindow(DWORD process, const std::function<bool(HWND)>& matches) {
  struct Search {
    DWORD process;
    const std::function<bool(HWND)>* matches;
    HWND found = nullptr;
  } search{process, &matches};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* search = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != search->process || IsWindowVisible(window) == FALSE) return TRUE;
        if (!(*search->matches)(window)) return TRUE;
        search->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsMainWindow(HWND window) {
  return GetDlgItem(window, IDC_START) != nullptr;
}
bool IsMessageBox(HWND window) {
  return GetDlgItem(window, kMessageBoxText) != nullptr;
}
bool IsCompletionPrompt(HWND window) {
  HWND upgrade = GetDlgItem(window, IDOK);
  return !IsMainWindow(window) && !IsMessageBox(window) && upgrade != nullptr &&
         TextOf(upgrade) == "&Upgrade";
}
bool IsPortSetup(HWND window) {
  return GetDlgItem(window, kPortList) != nullptr;
}

void Click(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) Fail("no button " + std::to_string(id));
  // Posted: a click that opens a modal box would keep a sender waiting until it closes.
  PostMessageW(button, BM_CLICK, 0, 0);
}

bool Enabled(HWND dialog, int id) {
  return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

class Upgrader {
 public:
  explicit Upgrader(const std::string& program) {
    std::wstring command = L"\"" + kvx::WideFromUtf8(program) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process_) == FALSE) {
      Fail("cannot start " + program);
    }
  }
  ~Upgrader() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }

  HWND Find(const std::function<bool(HWND)>& matches) const {
    return FindProcessWindow(process_.dwProcessId, matches);
  }
  HWND WaitFor(const std::function<bool(HWND)>& matches, const std::string& what) const {
    return WaitForWindow([&] { return Find(matches); }, what);
  }

  // Says the box's text and presses its OK (or Yes) button.
  void AnswerBox(HWND box) const {
    Say("box: " + TextOf(GetDlgItem(box, kMessageBoxText)));
    // A box's template holds every button; only its own are visible.
    Click(box, IsWindowVisible(GetDlgItem(box, IDOK)) != FALSE ? IDOK : IDYES);
    WaitUntil([box] { return IsWindow(box) == FALSE || IsWindowVisible(box) == FALSE; },
              "box closing");
  }

  DWORD WaitForExit() const {
    if (WaitForSingleObject(process_.hProcess, 60000) != WAIT_OBJECT_0) Fail("still running");
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION process_{};
};

// The start-up warning confirmed, the window shown with `port` selected.
HWND OpenWithPort(const Upgrader& upgrader, const std::string& port) {
  upgrader.AnswerBox(upgrader.WaitFor(IsMessageBox, "start-up warning"));
  HWND main = upgrader.WaitFor(IsMainWindow, "main window");
  WaitUntil([&] { return TextOf(main).find("(" + port + ")") != std::string::npos; },
            "port " + port + " in the title");
  Say("title: " + TextOf(main));
  return main;
}

void SayButtons(HWND main) {
  Say(std::string("enabled: ") + (Enabled(main, IDC_START) ? "1 " : "0 ") +
      (Enabled(main, IDC_OPEN) ? "1 " : "0 ") + (Enabled(main, IDC_PORTSETUP) ? "1" : "0"));
}

// Start pressed; runs until the completion prompt, which is answered `answer` (IDOK Upgrade,
// IDCANCEL Exit). A box on the way is a failure.
void RunToCompletion(const Upgrader& upgrader, HWND main, int answer) {
  if (!Enabled(main, IDC_START)) Fail("Start is disabled");
  Click(main, IDC_START);
  HWND prompt = upgrader.WaitFor(
      [&](HWND window) {
        if (IsMessageBox(window)) {
          Fail("box during the run: " + TextOf(GetDlgItem(window, kMessageBoxText)));
        }
        return IsCompletionPrompt(window);
      },
      "completion prompt");
  Say("prompt");
  Say("status: " + TextOf(GetDlgItem(main, IDC_STATUS_LINE)));
  SayButtons(main);
  Click(prompt, answer);
  WaitUntil([prompt] { return IsWindow(prompt) == FALSE; }, "prompt closing");
}

// Says what the driver waits for, and waits until the caller has put the file `name` into `gate`.
void PassGate(const std::string& gate, const std::string& name) {
  Say("waiting: " + name);
  const std::wstring file = kvx::WideFromUtf8(gate + "\\" + name);
  WaitUntil([&] { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; },
            "gate " + name);
}

// Start pressed while the port cannot be opened: every box answered until Start is usable again,
// then the port chosen again in the port setup dialog.
void StartOnABusyPort(const Upgrader& upgrader, HWND main, const std::string& port,
                      const std::string& gate) {
  PassGate(gate, "busy");
  Click(main, IDC_START);
  upgrader.AnswerBox(upgrader.WaitFor(IsMessageBox, "port problem box"));
  // Any further box of the same failure.
  std::this_thread::sleep_for(500ms);
  while (HWND box = upgrader.Find(IsMessageBox)) upgrader.AnswerBox(box);
  SayButtons(main);
  Say("title: " + TextOf(main));
  PassGate(gate, "free");

  Click(main, IDC_PORTSETUP);
  HWND setup = upgrader.WaitFor(IsPortSetup, "port setup dialog");
  const std::wstring wide_port = kvx::WideFromUtf8(port);
  SendMessageW(GetDlgItem(setup, kPortList), CB_SELECTSTRING, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(wide_port.c_str()));
  Click(setup, IDOK);
  WaitUntil([&] { return TextOf(main).find("(" + port + ")") != std::string::npos; },
            "port " + port + " selected again");
  Say("title: " + TextOf(main));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    Fail("usage: upgrader-window-driver <kvx-upgrader.exe> <port> <scenario> [gate folder]");
  }
  const std::string scenario = argv[3];
  const std::string port = argv[2];
  Upgrader upgrader(argv[1]);
  HWND main = OpenWithPort(upgrader, port);
  if (scenario == "busy-then-upgrade") {
    if (argc != 5) Fail("busy-then-upgrade needs a gate folder");
    StartOnABusyPort(upgrader, main, port, argv[4]);
  } else if (scenario == "upgrade-twice") {
    if (argc != 5) Fail("upgrade-twice needs a gate folder");
    RunToCompletion(upgrader, main, IDOK);
    PassGate(argv[4], "next");
    Say("title: " + TextOf(main));
  } else if (scenario != "upgrade") {
    Fail("unknown scenario " + scenario);
  }
  RunToCompletion(upgrader, main, IDCANCEL);
  Say("exit code: " + std::to_string(upgrader.WaitForExit()));
  return 0;
}
