#include "operator/message_boxes.h"

#include "operator/app_identity.h"
#include "platform/port_permission.h"
#include "platform/string_table.h"

namespace kvx::ui {

namespace {

constexpr std::string_view kSelectPortText = "Please select serial port!";
constexpr std::string_view kNoPortFreeText =
    "None of serial ports is availabe now.\nPlease check the connection and try it again!";
constexpr std::string_view kPortNotDetectedText =
    "Serial port is not detected.\nPlease make sure the device is connected correctly!";
constexpr std::string_view kPortOccupiedFormat =
    "%s is being occupied by one other application \nat this moment. Please try it later!";

std::string AppCaption() {
  return std::string(LoadString(IDS_APP_CAPTION).value_or(kBoxCaption));
}

BoxRequest CaptionedWarning(std::string text) {
  return {AppCaption(), std::move(text), BoxIcon::kExclamation, BoxButtons::kOk, false};
}

}  // namespace

BoxAnswer ClosedBoxAnswer(BoxButtons buttons) {
  if (buttons == BoxButtons::kOkCancel) return BoxAnswer::kCancel;
  if (buttons == BoxButtons::kYesNo) return BoxAnswer::kNo;
  return BoxAnswer::kOk;
}

std::string TextOrUnknown(int string_id) {
  if (const auto text = LoadString(string_id)) return std::string(*text);
  return std::string(LoadString(IDS_UNKNOWN_ERROR).value_or("Unknown error occurred"));
}

BoxRequest StartupWarningBox() {
  return {"", TextOrUnknown(IDS_STARTUP_WARNING), BoxIcon::kExclamation, BoxButtons::kOkCancel,
          false};
}

BoxRequest ErrorBox(int string_id) {
  return {std::string(kBoxCaption), TextOrUnknown(string_id), BoxIcon::kError, BoxButtons::kOk,
          true};
}

BoxRequest QuestionBox(int string_id) {
  return {std::string(kBoxCaption), TextOrUnknown(string_id), BoxIcon::kQuestion,
          BoxButtons::kYesNo, true};
}

BoxRequest ExitQuestionBox() {
  return {std::string(kBoxCaption), TextOrUnknown(IDS_EXIT_QUESTION), BoxIcon::kNone,
          BoxButtons::kYesNo, false};
}

BoxRequest NotConnectedBox() {
  return CaptionedWarning(TextOrUnknown(IDS_NOT_CONNECTED));
}

BoxRequest PortAccessDeniedBox(const std::string& device_path) {
  return CaptionedWarning(PortPermissionText(device_path));
}

BoxRequest SelectPortBox() {
  return CaptionedWarning(std::string(kSelectPortText));
}

BoxRequest SelectFileBox() {
  return CaptionedWarning(TextOrUnknown(IDS_SELECT_FILE));
}

std::optional<BoxRequest> PortErrorBox(std::int32_t code, std::string_view port) {
  if (code > 0) return std::nullopt;
  std::string text;
  if (code == 0) {
    text = kNoPortFreeText;
  } else if (code == -1) {
    text = kPortNotDetectedText;
  } else {
    // Filled by hand rather than by printf, so a '%' in a port name stays text.
    text = kPortOccupiedFormat;
    text.replace(text.find("%s"), 2, port);
  }
  return BoxRequest{"", std::move(text), BoxIcon::kExclamation, BoxButtons::kOk, false};
}

BoxRequest InformationBox(std::string_view text) {
  return {"", std::string(text), BoxIcon::kInformation, BoxButtons::kOk, false};
}

BoxRequest PlainBox(std::string_view caption, std::string_view text) {
  return {std::string(caption), std::string(text), BoxIcon::kNone, BoxButtons::kOk, false};
}

}  // namespace kvx::ui
