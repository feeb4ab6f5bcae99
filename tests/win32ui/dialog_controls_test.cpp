// The dialog layer addressing the main window's controls: image buttons drawn in the state the
// system gives them, progress ranges, texts, the status line's colours, dropped files, the link
// area, help and the system menu; and the modal boxes run and answered from inside.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, whose types they use.
#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "platform/wide_text.h"
#include "win32ui/about_box.h"
#include "win32ui/completion_prompt.h"
#include "win32ui/main_window_layout.h"
#include "win32ui/port_setup_dialog.h"
#include "win32ui/resource_ids.h"

namespace kvx::win32ui::test {
namespace {

class MainWindowControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = DialogWindow::Create(IDD_MAIN_WINDOW, nullptr, ApplyMainWindowLayout);
    ASSERT_NE(window_, nullptr);
    window_->Show(IDC_PORTSETUP, true);
    window_->ShowWindow(true);
    SetForegroundWindow(dialog());
    PumpMessages();
  }

  HWND dialog() const { return window_->handle(); }
  HWND control(int id) const { return GetDlgItem(dialog(), id); }

  // What the button shows on the screen now.
  std::vector<std::uint32_t> ShownPixels(int id) {
    UpdateWindow(control(id));
    PumpMessages();
    RECT rect;
    GetWindowRect(control(id), &rect);
    return ScreenPixels(rect);
  }

  std::unique_ptr<DialogWindow> window_;
};

TEST_F(MainWindowControlsTest, ImageButtonShowsThePictureOfItsState) {
  const auto picture = [](const wchar_t* name) { return ResourceBitmapPixels(name, 79, 25); };
  EXPECT_EQ(ShownPixels(IDC_START), picture(L"&START_U"));

  window_->Enable(IDC_START, false);
  EXPECT_FALSE(IsWindowEnabled(control(IDC_START)));
  EXPECT_EQ(ShownPixels(IDC_START), picture(L"&START_X"));

  // Enabled again: the next state drawn is up, not a picture left over from disabled.
  window_->Enable(IDC_START, true);
  EXPECT_EQ(ShownPixels(IDC_START), picture(L"&START_U"));

  SendMessageW(control(IDC_OPEN), BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(ShownPixels(IDC_OPEN), picture(L"&OPEN_D"));
  SendMessageW(control(IDC_OPEN), BM_SETSTATE, FALSE, 0);

  SetFocus(control(IDC_EXIT));
  EXPECT_EQ(ShownPixels(IDC_EXIT), picture(L"&EXIT_F"));
  // A disabled button shows disabled whatever else holds.
  window_->Enable(IDC_PORTSETUP, false);
  EXPECT_EQ(ShownPixels(IDC_PORTSETUP), picture(L"&PORTSETUP_X"));
}

struct RangeCase {
  bool wide;
  int high;
  int position;
};

TEST_F(MainWindowControlsTest, ProgressRangesHoldTheirValuesOneAfterAnother) {
  // Each range replaces the one before it, so the order matters: 16-bit bounds above 32767
  // must not read back negative, and a 16-bit range after a 32-bit one must take effect.
  const std::vector<RangeCase> cases = {{false, 65535, 40000}, {false, 35, 17},
                                        {true, 32768, 32768},  {true, 2000000, 1999999},
                                        {false, 40000, 0},     {true, 100, 100}};
  for (const RangeCase& range : cases) {
    SCOPED_TRACE(std::to_string(range.high) + (range.wide ? " (32-bit)" : " (16-bit)"));
    if (range.wide) {
      window_->SetProgressRange32(IDC_PROGRESS, 0, range.high);
    } else {
      window_->SetProgressRange16(IDC_PROGRESS, 0, static_cast<std::uint16_t>(range.high));
    }
    window_->SetProgressStep(IDC_PROGRESS, 1);
    window_->SetProgressPosition(IDC_PROGRESS, range.position);
    PBRANGE held{};
    SendMessageW(control(IDC_PROGRESS), PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&held));
    EXPECT_EQ(held.iLow, 0);
    EXPECT_EQ(held.iHigh, range.high);
    EXPECT_EQ(SendMessageW(control(IDC_PROGRESS), PBM_GETPOS, 0, 0), range.position);
  }
  // A position beyond the range stops at its end.
  window_->SetProgressPosition(IDC_PROGRESS, 250);
  EXPECT_EQ(SendMessageW(control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
}

TEST_F(MainWindowControlsTest, TextsGoInAsUtf8AndReachTheSystemWide) {
  const std::string path = "C:\\Прошивка\\Prüfung\\펌웨어 1.stf";
  window_->SetText(IDC_PATH_BOX, path);
  EXPECT_EQ(WideText(control(IDC_PATH_BOX)), WideFromUtf8(path));
  EXPECT_EQ(window_->Text(IDC_PATH_BOX), path);
  window_->SetCaption("Velmora KVX-01 Upgrader (v1.0.1) - (COM5)");
  EXPECT_EQ(WideText(dialog()), L"Velmora KVX-01 Upgrader (v1.0.1) - (COM5)");
  window_->SetText(IDC_STATUS_LINE, "");
  EXPECT_EQ(window_->Text(IDC_STATUS_LINE), "");
}

TEST_F(MainWindowControlsTest, ShowEnableAndCheckReachTheControls) {
  window_->Show(IDC_FORCED_BOOTLOADER, true);
  window_->Enable(IDC_FORCED_BOOTLOADER, false);
  EXPECT_TRUE(IsWindowVisible(control(IDC_FORCED_BOOTLOADER)));
  EXPECT_FALSE(IsWindowEnabled(control(IDC_FORCED_BOOTLOADER)));
  window_->Check(IDC_DOWNGRADE, true);
  EXPECT_TRUE(window_->IsChecked(IDC_DOWNGRADE));
  EXPECT_EQ(IsDlgButtonChecked(dialog(), IDC_DOWNGRADE), BST_CHECKED);
  window_->Check(IDC_DOWNGRADE, false);
  EXPECT_FALSE(window_->IsChecked(IDC_DOWNGRADE));
  window_->Show(IDC_FORCED_BOOTLOADER, false);
  EXPECT_FALSE(IsWindowVisible(control(IDC_FORCED_BOOTLOADER)));
}

TEST_F(MainWindowControlsTest, StatusLineHasItsColoursOtherStaticsTheSystems) {
  HDC dc = CreateCompatibleDC(nullptr);
  const auto brush = reinterpret_cast<HBRUSH>(
      SendMessageW(dialog(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(control(IDC_STATUS_LINE))));
  ASSERT_NE(brush, nullptr);
  LOGBRUSH fill{};
  GetObjectW(brush, sizeof fill, &fill);
  EXPECT_EQ(fill.lbColor, RGB(97, 97, 97));
  EXPECT_EQ(GetTextColor(dc), RGB(230, 230, 230));
  EXPECT_EQ(GetBkColor(dc), RGB(97, 97, 97));

  SetTextColor(dc, RGB(1, 2, 3));
  const auto other = reinterpret_cast<HBRUSH>(
      SendMessageW(dialog(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(control(IDC_FORCED_BOOTLOADER))));
  EXPECT_NE(other, brush);
  EXPECT_NE(GetTextColor(dc), RGB(230, 230, 230));
  DeleteDC(dc);
}

// A drop of these names, as the shell hands it to the window.
HGLOBAL DropOf(const std::vector<std::wstring>& names) {
  std::wstring list;
  for (const std::wstring& name : names) list += name + L'\0';
  list += L'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(),
         list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return memory;
}

TEST_F(MainWindowControlsTest, DroppedFilesArriveLastFirstInUtf8AndCut) {
  std::vector<std::string> received;
  window_->OnFilesDropped([&](const std::string& path) { received.push_back(path); });
  EXPECT_NE(GetWindowLongW(dialog(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);

  const std::wstring long_name = L"C:\\" + std::wstring(296, L'a') + L".bin";
  SendMessageW(dialog(), WM_DROPFILES,
               reinterpret_cast<WPARAM>(DropOf({L"C:\\first.stf", L"D:\\Прошивка.bin", long_name})),
               0);
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0], Utf8FromWide(long_name.substr(0, 259)));
  EXPECT_EQ(received[1], "D:\\Прошивка.bin");
  EXPECT_EQ(received[2], "C:\\first.stf");
}

TEST_F(MainWindowControlsTest, LinkAreaTakesAPressAndReleaseBothInside) {
  int opened = 0;
  window_->OnClickArea(IDC_WEB_LINK_AREA, [&] { ++opened; });
  const RECT area = PlaceOf(dialog(), control(IDC_WEB_LINK_AREA));
  const LPARAM inside = MAKELPARAM(area.left + 5, area.top + 5);
  const LPARAM outside = MAKELPARAM(area.left + 5, area.bottom + 40);
  struct Case {
    const char* name;
    std::vector<std::pair<UINT, LPARAM>> clicks;
    int opens;
  };
  const std::vector<Case> cases = {
      {"inside, inside", {{WM_LBUTTONDOWN, inside}, {WM_LBUTTONUP, inside}}, 1},
      {"inside, outside", {{WM_LBUTTONDOWN, inside}, {WM_LBUTTONUP, outside}}, 0},
      {"outside, inside", {{WM_LBUTTONDOWN, outside}, {WM_LBUTTONUP, inside}}, 0},
      // The failed release cleared the press: a second release inside opens nothing.
      {"inside, outside, inside",
       {{WM_LBUTTONDOWN, inside}, {WM_LBUTTONUP, outside}, {WM_LBUTTONUP, inside}},
       0},
      {"again after a failed one", {{WM_LBUTTONDOWN, inside}, {WM_LBUTTONUP, inside}}, 1}};
  for (const Case& click : cases) {
    SCOPED_TRACE(click.name);
    opened = 0;
    for (const auto& [message, point] : click.clicks) {
      SendMessageW(dialog(), message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, point);
    }
    EXPECT_EQ(opened, click.opens);
  }
}

TEST_F(MainWindowControlsTest, HelpContextMenuAndSystemMenuItemReachTheirHandlers) {
  int helped = 0;
  int about = 0;
  window_->OnHelp([&] { ++helped; });
  window_->OnCommand(IDM_ABOUT, [&] { ++about; });

  HELPINFO help{sizeof(HELPINFO), HELPINFO_WINDOW, 0, nullptr, 0, {0, 0}};
  SendMessageW(dialog(), WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
  SendMessageW(dialog(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(dialog()), MAKELPARAM(10, 10));
  EXPECT_EQ(helped, 2);

  HMENU menu = GetSystemMenu(dialog(), FALSE);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUT));
  EXPECT_EQ(GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR,
            static_cast<UINT>(MF_SEPARATOR));
  wchar_t text[64] = {};
  GetMenuStringW(menu, IDM_ABOUT, text, 64, MF_BYCOMMAND);
  EXPECT_STREQ(text, L"About Velmora KVX-01 Upgrader");
  SendMessageW(dialog(), WM_SYSCOMMAND, IDM_ABOUT, 0);
  EXPECT_EQ(about, 1);
}

TEST_F(MainWindowControlsTest, EnterAndEscapeDoNothingCloseGoesToItsHandler) {
  int closes = 0;
  window_->OnClose([&] { ++closes; });
  SendMessageW(dialog(), WM_COMMAND, IDOK, 0);
  SendMessageW(dialog(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(IsWindow(dialog()));
  EXPECT_EQ(closes, 0);
  SendMessageW(dialog(), WM_CLOSE, 0, 0);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(IsWindow(dialog())) << "closing is the handler's decision";
}

// The colour of the character at `index` of a rich-text control.
COLORREF ColourAt(HWND text, int index) {
  SendMessageW(text, EM_SETSEL, index, index + 1);
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  SendMessageW(text, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format.crTextColor;
}

TEST(LogTextTest, PiecesGoAtTheEndEachInItsColourAfterAClearFromTheTop) {
  const std::unique_ptr<DialogWindow> log = DialogWindow::Create(IDD_LOG_WINDOW);
  ASSERT_NE(log, nullptr);
  HWND text = log->Control(IDC_LOG_TEXT);
  constexpr Colour kRed{255, 0, 0};
  constexpr Colour kBlue{0, 0, 255};
  log->AppendText(IDC_LOG_TEXT, "AT\n", kRed);
  // The operator's selection at the start does not move the next piece there.
  SendMessageW(text, EM_SETSEL, 0, 1);
  log->AppendText(IDC_LOG_TEXT, "OK é", kBlue);
  EXPECT_EQ(RichText(text), L"AT\rOK é");
  EXPECT_EQ(ColourAt(text, 0), RGB(255, 0, 0));
  EXPECT_EQ(ColourAt(text, 3), RGB(0, 0, 255));
  EXPECT_EQ(ColourAt(text, 6), RGB(0, 0, 255));

  // Cleaned, the next piece starts the text.
  log->SetText(IDC_LOG_TEXT, "");
  log->AppendText(IDC_LOG_TEXT, "port search complete", kBlue);
  EXPECT_EQ(RichText(text), L"port search complete");
  EXPECT_EQ(ColourAt(text, 0), RGB(0, 0, 255));
}

void Press(HWND box, int id) {
  SendMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
}

struct PortCase {
  const char* name;
  std::vector<std::string> ports;
  std::string initial;
  std::string chosen;
};

TEST(PortSetupDialogTest, OkGivesTheChosenPortAndAlways115200) {
  const std::vector<std::string> three = {"COM3", "COM4", "COM10"};
  const std::vector<PortCase> cases = {{"initial listed", three, "COM4", "COM4"},
                                       {"initial gone", three, "COM9", "COM3"},
                                       {"initial in another case", three, "com4", "COM3"},
                                       {"no initial", three, "", "COM3"},
                                       {"no ports", {}, "COM4", ""}};
  for (const PortCase& port : cases) {
    SCOPED_TRACE(port.name);
    std::vector<std::string> listed;
    const std::optional<PortChoice> choice = WhileModal<std::optional<PortChoice>>(
        [&] { return RunPortSetup(nullptr, port.ports, port.initial); },
        [&](HWND box) {
          HWND list = GetDlgItem(box, IDC_PORT_LIST);
          for (LRESULT i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
            wchar_t item[32] = {};
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            listed.push_back(Utf8FromWide(item));
          }
          EXPECT_FALSE(IsWindowVisible(GetDlgItem(box, IDC_BAUD_LIST)));
          Press(box, IDOK);
        });
    EXPECT_EQ(listed, port.ports) << "in the caller's order";
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->port, port.chosen);
    EXPECT_EQ(choice->baud, "115200");
  }
}

TEST(PortSetupDialogTest, CancelEscapeAndCloseGiveNothing) {
  const std::vector<std::pair<const char*, std::function<void(HWND)>>> ways = {
      {"Cancel", [](HWND box) { Press(box, IDCANCEL); }},
      {"Escape", [](HWND box) { SendMessageW(box, WM_COMMAND, IDCANCEL, 0); }},
      {"close button", [](HWND box) { SendMessageW(box, WM_CLOSE, 0, 0); }}};
  for (const auto& [name, way] : ways) {
    SCOPED_TRACE(name);
    const std::optional<PortChoice> choice = WhileModal<std::optional<PortChoice>>(
        [] { return RunPortSetup(nullptr, {"COM3"}, "COM3"); }, way);
    EXPECT_FALSE(choice.has_value());
  }
}

TEST(CompletionPromptTest, UpgradeIsOkAndEveryOtherWayOutIsExit) {
  const std::vector<std::tuple<const char*, std::function<void(HWND)>, int>> ways = {
      {"Upgrade", [](HWND box) { Press(box, IDOK); }, IDOK},
      {"Exit", [](HWND box) { Press(box, IDCANCEL); }, IDCANCEL},
      {"close button", [](HWND box) { SendMessageW(box, WM_CLOSE, 0, 0); }, IDCANCEL}};
  for (const auto& [name, way, result] : ways) {
    SCOPED_TRACE(name);
    std::wstring caption;
    EXPECT_EQ(WhileModal<int>([] { return RunCompletionPrompt(nullptr); },
                              [&](HWND box) {
                                caption = WideText(box);
                                way(box);
                              }),
              result);
    EXPECT_EQ(caption, L"  ");
  }
}

TEST(AboutBoxTest, RunsModallyWithItsTextsAndOkCloses) {
  std::wstring caption;
  WhileModal<int>(
      [] {
        RunAboutBox(nullptr);
        return 0;
      },
      [&](HWND box) {
        caption = WideText(box);
        Press(box, IDOK);
      });
  EXPECT_EQ(caption, L"About Velmora KVX-01 Upgrader ");
}

}  // namespace
}  // namespace kvx::win32ui::test
