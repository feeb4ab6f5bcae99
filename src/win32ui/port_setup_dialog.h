// The port setup dialog over the ports its caller found free: the operator picks one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

struct PortChoice {
  std::string port;
  std::string baud;
};

// Lists `ports` in their order and chooses the one equal to `initial_port` (case counts), else
// the first; the baud list, never shown, holds 115200 and 460800 with 115200 chosen.
void PreparePortSetup(DialogWindow& dialog, const std::vector<std::string>& ports,
                      std::string_view initial_port);
PortChoice ReadPortChoice(const DialogWindow& dialog);
// The choice on Ok; nothing on Cancel, Escape or the close button. While it runs, `*running`
// (when given) is the dialog, so its caller can end it (EndModal); null again afterwards.
std::optional<PortChoice> RunPortSetup(NativeWindow owner, const std::vector<std::string>& ports,
                                       std::string_view initial_port,
                                       DialogWindow** running = nullptr);

}  // namespace kvx::win32ui
