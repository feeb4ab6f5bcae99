// Each dialog as its template makes it: controls with their ids at their places (dialog units
// mapped through the dialog's own font, or the pixels the main window moves them to), fonts,
// captions, styles and the controls' kinds.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <richedit.h>

#include <memory>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "win32ui/about_box.h"
#include "win32ui/completion_prompt.h"
#include "win32ui/main_window_layout.h"
#include "win32ui/port_setup_dialog.h"
#include "win32ui/resource_ids.h"

namespace kvx::win32ui::test {
namespace {

struct Expected {
  int id;
  const wchar_t* class_name;
  int x, y, width, height;  // dialog units, or pixels where `in_pixels`
  bool visible;
  bool in_pixels = false;
  bool check_height = true;  // a drop-down list's height includes its open list
};

// Finds the control: by id, or for one without an id by its class and text.
HWND FindControl(HWND dialog, const Expected& control, const wchar_t* text) {
  if (control.id != IDC_UNNAMED) return GetDlgItem(dialog, control.id);
  return FindWindowExW(dialog, nullptr, control.class_name, text);
}

void ExpectPlaces(HWND dialog, const std::vector<std::pair<Expected, const wchar_t*>>& controls) {
  for (const auto& [control, text] : controls) {
    SCOPED_TRACE(control.id == IDC_UNNAMED ? std::wstring(text) : std::to_wstring(control.id));
    HWND window = FindControl(dialog, control, text);
    ASSERT_NE(window, nullptr);
    wchar_t class_name[64] = {};
    GetClassNameW(window, class_name, 64);
    EXPECT_EQ(_wcsicmp(class_name, control.class_name), 0) << class_name;
    const RECT expected =
        control.in_pixels
            ? RECT{control.x, control.y, control.x + control.width, control.y + control.height}
            : UnitsToPixels(dialog, control.x, control.y, control.width, control.height);
    const RECT actual = PlaceOf(dialog, window);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    if (control.check_height) {
      EXPECT_EQ(actual.bottom, expected.bottom);
    }
    EXPECT_EQ(IsWindowVisible(window) != FALSE, control.visible && IsWindowVisible(dialog));
  }
}

LONG StyleOf(HWND window) {
  return GetWindowLongW(window, GWL_STYLE);
}

// The template's border, which the system may draw as a sunken or static edge instead.
bool HasBorder(HWND window) {
  return (StyleOf(window) & WS_BORDER) != 0 ||
         (GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0;
}

class DialogLayoutTest : public ::testing::Test {
 protected:
  std::unique_ptr<DialogWindow> Open(int template_id, const DialogWindow::Prepare& prepare = {}) {
    std::unique_ptr<DialogWindow> dialog = DialogWindow::Create(template_id, nullptr, prepare);
    EXPECT_NE(dialog, nullptr);
    if (dialog) {
      dialog->ShowWindow(true);
      PumpMessages();
    }
    return dialog;
  }
};

TEST_F(DialogLayoutTest, MainWindow) {
  auto window = Open(IDD_MAIN_WINDOW, ApplyMainWindowLayout);
  ASSERT_NE(window, nullptr);
  HWND dialog = window->handle();
  ExpectPlaces(dialog,
               {{{IDC_PORTSETUP, L"Button", 550, 233, 79, 25, false, true}, nullptr},
                {{IDC_OPEN, L"Button", 550, 268, 79, 25, true, true}, nullptr},
                {{IDC_START, L"Button", 549, 365, 79, 25, true, true}, nullptr},
                {{IDC_EXIT, L"Button", 550, 415, 79, 25, true, true}, nullptr},
                {{IDC_PATH_BOX, L"Edit", 223, 270, 322, 21, true, true}, nullptr},
                {{IDC_STATUS_LINE, L"Static", 297, 305, 260, 17, true, true}, nullptr},
                {{IDC_PROGRESS, L"msctls_progress32", 297, 326, 270, 10, true, true}, nullptr},
                {{IDC_FORCED_BOOTLOADER, L"Button", 10, 79, 139, 16, false}, nullptr},
                {{IDC_DOWNGRADE, L"Button", 10, 94, 76, 16, false}, nullptr},
                {{IDC_WEB_LINK_AREA, L"Static", 249, 11, 163, 36, false}, nullptr}});

  RECT frame;
  GetWindowRect(dialog, &frame);
  EXPECT_EQ(frame.left, 0);
  EXPECT_EQ(frame.top, 0);
  EXPECT_EQ(frame.right - frame.left, 655);
  EXPECT_EQ(frame.bottom - frame.top, 480);
  EXPECT_EQ(FontOf(dialog).face, L"MS Shell Dlg");
  EXPECT_EQ(FontOf(dialog).points, 8);
  const LONG style = StyleOf(dialog);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);

  for (const int id : {IDC_PORTSETUP, IDC_OPEN, IDC_START, IDC_EXIT}) {
    EXPECT_EQ(StyleOf(GetDlgItem(dialog, id)) & BS_TYPEMASK, BS_OWNERDRAW) << id;
  }
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDC_START)), L"&START_");
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDC_PORTSETUP)), L"&PORTSETUP_");
  for (const int id : {IDC_FORCED_BOOTLOADER, IDC_DOWNGRADE}) {
    EXPECT_EQ(StyleOf(GetDlgItem(dialog, id)) & BS_TYPEMASK, BS_AUTOCHECKBOX) << id;
  }
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDC_FORCED_BOOTLOADER)),
            L"Forced Bootloader upgrade enable");
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDC_DOWNGRADE)), L"Downgrade enable");
  const LONG path_style = StyleOf(GetDlgItem(dialog, IDC_PATH_BOX));
  EXPECT_NE(path_style & ES_READONLY, 0);
  EXPECT_NE(path_style & ES_AUTOHSCROLL, 0);
  EXPECT_TRUE(HasBorder(GetDlgItem(dialog, IDC_PATH_BOX)));
  EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), 0);
}

TEST_F(DialogLayoutTest, PortSetupDialog) {
  auto window = Open(IDD_PORT_SETUP);
  ASSERT_NE(window, nullptr);
  HWND dialog = window->handle();
  ExpectPlaces(dialog,
               {{{IDC_UNNAMED, L"Static", 11, 12, 16, 10, true}, L"Port"},
                {{IDC_PORT_LIST, L"ComboBox", 49, 11, 68, 59, true, false, false}, nullptr},
                {{IDC_UNNAMED, L"Static", 11, 33, 21, 10, false}, L"Baud"},
                {{IDC_BAUD_LIST, L"ComboBox", 49, 31, 68, 72, false, false, false}, nullptr},
                {{IDOK, L"Button", 20, 39, 50, 14, true}, nullptr},
                {{IDCANCEL, L"Button", 73, 39, 50, 14, true}, nullptr}});
  EXPECT_EQ(WideText(dialog), L"");
  EXPECT_EQ(FontOf(dialog).face, L"MS Shell Dlg");
  EXPECT_EQ(FontOf(dialog).points, 8);
  EXPECT_EQ(StyleOf(dialog) & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
  // (The scroll bar style goes to the open list, which the system makes.)
  for (const int id : {IDC_PORT_LIST, IDC_BAUD_LIST}) {
    EXPECT_EQ(StyleOf(GetDlgItem(dialog, id)) & 0x3, CBS_DROPDOWNLIST) << id;
  }
  EXPECT_EQ(StyleOf(GetDlgItem(dialog, IDOK)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDOK)), L"Ok");
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDCANCEL)), L"Cancel");
}

TEST_F(DialogLayoutTest, LogWindow) {
  auto window = Open(IDD_LOG_WINDOW);
  ASSERT_NE(window, nullptr);
  HWND dialog = window->handle();
  ExpectPlaces(dialog, {{{IDC_LOG_TEXT, L"RichEdit20W", 0, 0, 260, 396, true}, nullptr}});
  EXPECT_EQ(WideText(dialog), L"Dialog");
  EXPECT_EQ(FontOf(dialog).face, L"MS Shell Dlg");
  EXPECT_EQ(FontOf(dialog).points, 8);
  EXPECT_EQ(StyleOf(dialog) & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  const LONG text_style = StyleOf(GetDlgItem(dialog, IDC_LOG_TEXT));
  // (Its scroll bar style comes and goes with the text's length.)
  for (const LONG bit : {ES_MULTILINE, ES_READONLY, ES_AUTOVSCROLL, ES_AUTOHSCROLL, ES_NOHIDESEL}) {
    EXPECT_NE(text_style & bit, 0) << bit;
  }

  HMENU bar = GetMenu(dialog);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  wchar_t text[32] = {};
  GetMenuStringW(bar, 0, text, 32, MF_BYPOSITION);
  EXPECT_STREQ(text, L"Menu");
  HMENU popup = GetSubMenu(bar, 0);
  ASSERT_EQ(GetMenuItemCount(popup), 2);
  EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(ID_LOG_CLEAN));
  EXPECT_EQ(GetMenuItemID(popup, 1), static_cast<UINT>(ID_LOG_EXIT));
  GetMenuStringW(popup, 0, text, 32, MF_BYPOSITION);
  EXPECT_STREQ(text, L"&Clean");
  GetMenuStringW(popup, 1, text, 32, MF_BYPOSITION);
  EXPECT_STREQ(text, L"&Exit");
}

TEST_F(DialogLayoutTest, AboutBox) {
  auto window = Open(IDD_ABOUT, PrepareAboutBox);
  ASSERT_NE(window, nullptr);
  HWND dialog = window->handle();
  // The icon control takes the icon's own size: only its corner is the template's.
  ExpectPlaces(dialog, {{{IDC_ABOUT_VERSION, L"Static", 54, 18, 190, 11, true}, nullptr},
                        {{IDC_ABOUT_COPYRIGHT, L"Static", 54, 36, 190, 11, true}, nullptr},
                        {{IDOK, L"Button", 195, 46, 50, 14, true}, nullptr}});
  HWND icon = FindWindowExW(dialog, nullptr, L"Static", nullptr);
  while (icon != nullptr && (StyleOf(icon) & SS_TYPEMASK) != SS_ICON) {
    icon = FindWindowExW(dialog, icon, L"Static", nullptr);
  }
  ASSERT_NE(icon, nullptr);
  const RECT icon_expected = UnitsToPixels(dialog, 13, 18, 20, 20);
  EXPECT_EQ(PlaceOf(dialog, icon).left, icon_expected.left);
  EXPECT_EQ(PlaceOf(dialog, icon).top, icon_expected.top);
  EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0);

  EXPECT_EQ(WideText(dialog), L"About Velmora KVX-01 Upgrader ");
  EXPECT_EQ(window->Text(IDC_ABOUT_VERSION), "Velmora KVX-01 Upgrader Version (v1.0.1) ");
  EXPECT_FALSE(window->Text(IDC_ABOUT_COPYRIGHT).empty());
  for (const int id : {IDC_ABOUT_VERSION, IDC_ABOUT_COPYRIGHT}) {
    EXPECT_NE(StyleOf(GetDlgItem(dialog, id)) & SS_NOPREFIX, 0) << id;
  }
  EXPECT_EQ(StyleOf(GetDlgItem(dialog, IDOK)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDOK)), L"Ok");
  EXPECT_EQ(FontOf(dialog).face, L"MS Sans Serif");
  EXPECT_EQ(FontOf(dialog).points, 9);
}

TEST_F(DialogLayoutTest, CompletionPrompt) {
  auto window = Open(IDD_COMPLETION_PROMPT, PrepareCompletionPrompt);
  ASSERT_NE(window, nullptr);
  HWND dialog = window->handle();
  RECT client;
  GetClientRect(dialog, &client);
  const RECT template_size = UnitsToPixels(dialog, 0, 0, 152, 51);
  EXPECT_EQ(client.right, template_size.right);
  EXPECT_EQ(client.bottom, template_size.bottom);
  EXPECT_EQ(WideText(dialog), L"  ");
  EXPECT_NE(FindWindowExW(dialog, nullptr, L"Static", L"You can exit or upgrade another Kelvane."),
            nullptr);
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDOK)), L"&Upgrade");
  EXPECT_EQ(StyleOf(GetDlgItem(dialog, IDOK)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(WideText(GetDlgItem(dialog, IDCANCEL)), L"Exit");
  EXPECT_EQ(FontOf(dialog).face, L"Microsoft Sans Serif");
  EXPECT_EQ(FontOf(dialog).points, 10);
}

}  // namespace
}  // namespace kvx::win32ui::test
