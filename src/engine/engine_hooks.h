// What the engine asks of the front end besides window messages: dialogs and boxes that a Windows
// program would show from the engine thread itself. Each hook has a harmless default, so a front
// end fills in only what it can show. Hooks run on the engine thread and block it until answered.
#pragma once

#include <functional>
#include <string>

namespace kvx {

struct EngineHooks {
  // A plain box with an OK button ("SendMessage fail" when a trace request finds no window).
  std::function<void(const std::string& caption, const std::string& text)> show_message_box =
      [](const std::string&, const std::string&) {};
  // Development mode's modal information box about the loaded image.
  std::function<void(const std::string& text)> show_information = [](const std::string&) {};
  // The log window was shown (true) or hidden (false) by the engine's toggle.
  std::function<void(bool visible)> log_window_visibility = [](bool) {};
};

}  // namespace kvx
