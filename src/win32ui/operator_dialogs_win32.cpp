#include "win32ui/operator_dialogs.h"

#include <string>
#include <thread>

#include "platform/wide_text.h"
#include "win32ui/about_box.h"
#include "win32ui/completion_prompt.h"
#include "win32ui/port_setup_dialog.h"
#include "win32ui/resource_ids.h"

// After the program's headers: <windows.h> defines macros named like their constants.
#include <windows.h>
// After <windows.h>, whose types they use.
#include <commdlg.h>
#include <shellapi.h>

namespace kvx::win32ui {

namespace {

using ui::BoxAnswer;
using ui::BoxButtons;
using ui::BoxIcon;
using ui::BoxRequest;

UINT BoxStyle(const BoxRequest& request) {
  UINT style = 0;
  switch (request.buttons) {
    case BoxButtons::kOk:
      style |= MB_OK;
      break;
    case BoxButtons::kOkCancel:
      style |= MB_OKCANCEL;
      break;
    case BoxButtons::kYesNo:
      style |= MB_YESNO;
      break;
  }
  switch (request.icon) {
    case BoxIcon::kExclamation:
      style |= MB_ICONEXCLAMATION;
      break;
    case BoxIcon::kError:
      style |= MB_ICONERROR;
      break;
    case BoxIcon::kQuestion:
      style |= MB_ICONQUESTION;
      break;
    case BoxIcon::kInformation:
      style |= MB_ICONINFORMATION;
      break;
    case BoxIcon::kNone:
      break;
  }
  if (request.topmost) style |= MB_TOPMOST;
  return style;
}

int RunBox(HWND owner, const BoxRequest& request) {
  return MessageBoxW(owner, WideFromUtf8(request.text).c_str(),
                     WideFromUtf8(request.caption).c_str(), BoxStyle(request));
}

BoxAnswer AnswerOf(int result, BoxButtons buttons) {
  switch (result) {
    case IDOK:
      return BoxAnswer::kOk;
    case IDYES:
      return BoxAnswer::kYes;
    case IDNO:
      return BoxAnswer::kNo;
    default:
      // IDCANCEL also comes from Escape or the close button, which a box with OK only answers
      // with its OK.
      return ClosedBoxAnswer(buttons);
  }
}

// The folder of `path`, where the file dialog starts.
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

BoxAnswer Win32OperatorDialogs::ShowBox(const BoxRequest& request) {
  return AnswerOf(RunBox(owner_, request), request.buttons);
}

void Win32OperatorDialogs::ShowBoxWithoutWaiting(const BoxRequest& request) {
  // A box of its own thread: nothing waits for the operator to close it.
  std::thread([request] { RunBox(nullptr, request); }).detach();
}

std::optional<std::string> Win32OperatorDialogs::ChooseImageFile(const std::string& current_path) {
  // Room for the longest name the dialog gives without a larger buffer.
  std::wstring chosen(MAX_PATH, L'\0');
  const std::wstring folder = FolderOf(WideFromUtf8(current_path));
  static constexpr wchar_t kFilter[] =
      L"Velmora KVX-01 Software Binary (*.stf)\0*.stf\0"
      L"Velmora KVX-01 Software Binary (*.bin)\0*.bin\0";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner_;
  dialog.lpstrFilter = kFilter;
  dialog.lpstrFile = chosen.data();
  dialog.nMaxFile = static_cast<DWORD>(chosen.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  if (GetOpenFileNameW(&dialog) == FALSE) return std::nullopt;
  chosen.resize(chosen.find(L'\0'));
  return Utf8FromWide(chosen);
}

ui::CompletionChoice Win32OperatorDialogs::AskCompletion() {
  return RunCompletionPrompt(owner_) == IDOK ? ui::CompletionChoice::kUpgrade
                                             : ui::CompletionChoice::kExit;
}

void Win32OperatorDialogs::ChoosePort(const std::vector<std::string>& free_ports,
                                      const std::string& initial_port, ui::PortSetupDone done) {
  if (port_setup_) {
    done(std::nullopt);  // one dialog at a time
    return;
  }
  const std::optional<PortChoice> choice =
      RunPortSetup(owner_, free_ports, initial_port, &port_setup_);
  if (!choice) {
    done(std::nullopt);
    return;
  }
  done(kvx::PortChoice{choice->port, choice->baud});
}

void Win32OperatorDialogs::DismissPortSetup() {
  if (port_setup_) port_setup_->EndModal(IDCANCEL);
}

void Win32OperatorDialogs::ShowAbout() {
  RunAboutBox(owner_);
}

void Win32OperatorDialogs::OpenWebPage(const std::string& url) {
  ShellExecuteW(owner_, L"open", WideFromUtf8(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kvx::win32ui
