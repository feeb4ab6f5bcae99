// Draws every dialog and writes it, title bar included, as a BMP file into the folder named by
// KVX_WIN32UI_SCREENSHOTS, for a person to look at. It checks only that each one drew.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <set>
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

// A 32-bit BMP file of top-down pixels.
bool WriteBmp(const std::wstring& path, const std::vector<std::uint32_t>& pixels, int width,
              int height) {
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = -height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  const DWORD data_size = static_cast<DWORD>(pixels.size() * sizeof(std::uint32_t));
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + data_size;
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool good = WriteFile(out, &file, sizeof file, &written, nullptr) && written == sizeof file;
  good = good && WriteFile(out, &info, sizeof info, &written, nullptr) && written == sizeof info;
  good =
      good && WriteFile(out, pixels.data(), data_size, &written, nullptr) && written == data_size;
  CloseHandle(out);
  return good;
}

class ScreenshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* folder = std::getenv("KVX_WIN32UI_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "KVX_WIN32UI_SCREENSHOTS not set";
    folder_ = WideFromUtf8(folder);
    CreateDirectoryW(folder_.c_str(), nullptr);
  }

  void Draw(const char* name, int template_id, const DialogWindow::Prepare& prepare) {
    SCOPED_TRACE(name);
    std::unique_ptr<DialogWindow> dialog = DialogWindow::Create(template_id, nullptr, prepare);
    ASSERT_NE(dialog, nullptr);
    dialog->ShowWindow(true);
    SetForegroundWindow(dialog->handle());
    RedrawWindow(dialog->handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessages();
    Sleep(200);  // the X server shows what Wine drew
    PumpMessages();
    RECT frame;
    GetWindowRect(dialog->handle(), &frame);
    const std::vector<std::uint32_t> pixels = ScreenPixels(frame);
    const std::set<std::uint32_t> colours(pixels.begin(), pixels.end());
    EXPECT_GT(colours.size(), 2u) << "nothing drawn";
    EXPECT_TRUE(WriteBmp(folder_ + L"\\" + WideFromUtf8(name) + L".bmp", pixels,
                         frame.right - frame.left, frame.bottom - frame.top));
  }

  std::wstring folder_;
};

TEST_F(ScreenshotTest, DrawsEveryDialog) {
  Draw("main_window", IDD_MAIN_WINDOW, [](DialogWindow& window) {
    ApplyMainWindowLayout(window);
    window.SetCaption("Velmora KVX-01 Upgrader (v1.0.1) - (COM5)");
    window.Show(IDC_PORTSETUP, true);
    window.SetText(IDC_PATH_BOX, "C:\\Firmware\\KVX01_MAIN_2.4.1.stf");
    window.SetText(IDC_STATUS_LINE, "Upgrade is in progress");
    window.SetProgressRange32(IDC_PROGRESS, 0, 100000);
    window.SetProgressPosition(IDC_PROGRESS, 42000);
    window.Enable(IDC_START, false);
  });
  Draw("main_window_development", IDD_MAIN_WINDOW, [](DialogWindow& window) {
    ApplyMainWindowLayout(window);
    window.SetCaption("DEVELPEMENT mode enable - v (v1.0.1)");
    for (const int id : {IDC_PORTSETUP, IDC_FORCED_BOOTLOADER, IDC_DOWNGRADE}) {
      window.Show(id, true);
    }
    window.Check(IDC_DOWNGRADE, true);
  });
  Draw("port_setup", IDD_PORT_SETUP, [](DialogWindow& dialog) {
    PreparePortSetup(dialog, {"COM3", "COM4", "COM10"}, "COM4");
  });
  Draw("log_window", IDD_LOG_WINDOW, [](DialogWindow& log) {
    log.SetText(IDC_LOG_TEXT,
                "[2019/03/05 14:07:09.042] port search complete\r\n[2019/03/05 14:07:09.043]T: AT");
  });
  Draw("about_box", IDD_ABOUT, PrepareAboutBox);
  Draw("completion_prompt", IDD_COMPLETION_PROMPT, PrepareCompletionPrompt);
}

}  // namespace
}  // namespace kvx::win32ui::test
