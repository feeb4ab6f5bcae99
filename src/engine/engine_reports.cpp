#include "engine/engine_reports.h"

#include "platform/user_messages.h"

namespace kvx {

namespace {

// The engine passes a string or a number by address for the length of a send.
const std::string& StringAt(WPARAM address) {
  static const std::string kNone;
  const auto* text = reinterpret_cast<const std::string*>(address);
  return text ? *text : kNone;
}

std::int32_t Int32At(LPARAM address) {
  const auto* value = reinterpret_cast<const std::int32_t*>(address);
  return value ? *value : 0;
}

}  // namespace

std::optional<LRESULT> DispatchEngineReport(EngineReports& reports, UINT msg, WPARAM wParam,
                                            LPARAM lParam) {
  switch (msg) {
    case WM_USER_THREAD_START:
      reports.OnThreadStart();
      return 0;
    case WM_USER_THREAD_END:
      reports.OnThreadEnd();
      return 0;
    case WM_USER_END:
      reports.OnUpgradeEnd(static_cast<int>(lParam));
      return 0;
    case WM_USER_PROG_SETUP:
      reports.OnProgressSetup(wParam, static_cast<int>(lParam));
      return 0;
    case WM_USER_PROG_PROC:
      reports.OnProgress(lParam);
      return 0;
    case WM_USER_BTN_CTRL:
      reports.OnButtonControl(wParam == BTN_ENABLE, static_cast<int>(lParam));
      return 0;
    case WM_USER_STATIC_LOG_CTRL:
      reports.OnStatus(static_cast<int>(lParam));
      return 0;
    case WM_USER_PORT_SELECTED:
      reports.OnPortSelected(StringAt(wParam), Int32At(lParam));
      return 0;
    case WM_USER_DEVICE_COUNT:
      return reports.OnDeviceCount(wParam);
    case WM_USER_ASK:
      return reports.OnAsk(static_cast<int>(lParam));
    case WM_USER_PORT_ERROR:
      reports.OnPortError(Int32At(lParam));
      return 0;
    case WM_USER_PORT_ACCESS_DENIED:
      reports.OnPortAccessDenied(StringAt(wParam), static_cast<int>(lParam));
      return 0;
    case WM_USER_SYNC:
      reports.OnSync(wParam != 0);
      return 0;
    default:
      return std::nullopt;
  }
}

}  // namespace kvx
