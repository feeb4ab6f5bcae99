// Every message box the operator interface shows, as plain data: caption, text, icon, buttons and
// whether it stays above other windows. The window builds a request here and hands it to
// OperatorDialogs, which shows it (or, in tests, answers it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvx::ui {

enum class BoxIcon { kNone, kExclamation, kError, kQuestion, kInformation };
enum class BoxButtons { kOk, kOkCancel, kYesNo };
enum class BoxAnswer { kOk, kCancel, kYes, kNo };

struct BoxRequest {
  std::string caption;
  std::string text;
  BoxIcon icon = BoxIcon::kNone;
  BoxButtons buttons = BoxButtons::kOk;
  bool topmost = false;

  bool operator==(const BoxRequest&) const = default;
};

// The answer of a box closed without a button (its close button, Escape): Cancel, No or OK,
// whichever it has.
BoxAnswer ClosedBoxAnswer(BoxButtons buttons);

// The text of a string id, or string 168 ("Unknown error occurred") for an id without text.
std::string TextOrUnknown(int string_id);

// The start-up warning 57350: no caption, OK and Cancel, exclamation.
BoxRequest StartupWarningBox();
// An error the engine reports by id: product caption, error icon, OK, topmost.
BoxRequest ErrorBox(int string_id);
// A question the engine asks by id (WM_USER_ASK): product caption, question icon, Yes and No,
// topmost.
BoxRequest QuestionBox(int string_id);
// Question 169 when the operator exits during an upgrade: product caption, Yes and No, no icon.
BoxRequest ExitQuestionBox();
// Warnings with caption string 177 and the exclamation icon: no terminal found (57358), Start
// without a port, Start without a file (57359).
BoxRequest NotConnectedBox();
BoxRequest SelectPortBox();
BoxRequest SelectFileBox();
// The engine's port problem (WM_USER_PORT_ERROR): nothing for a code above 0; otherwise the box
// for 0 (no port free), -1 (not detected) or any other value (`port` occupied).
std::optional<BoxRequest> PortErrorBox(std::int32_t code, std::string_view port);
// A port refused for lack of permission (WM_USER_PORT_ACCESS_DENIED), after the engine's own box:
// the device and the group to join, with the product caption and a warning icon.
BoxRequest PortAccessDeniedBox(const std::string& device_path);
// The engine's own boxes: development mode's image information (information icon), a plain box
// ("SendMessage fail"), and the cable-lost warning (no icon); none has a caption of the product.
BoxRequest InformationBox(std::string_view text);
BoxRequest PlainBox(std::string_view caption, std::string_view text);

}  // namespace kvx::ui
