// What the engine asks of the front end besides window messages: dialogs and boxes that a Windows
// program would show from the engine thread itself. Each hook has a harmless default, so a front
// end fills in only what it can show. Hooks run on the engine thread and block it until answered,
// except the cable warning, which runs on a short thread of its own.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvx {

// The operator's choice in the port setup dialog.
struct PortChoice {
  std::string port;
  std::string baud_text;  // as the dialog shows it, e.g. "115200"
};

struct EngineHooks {
  // A plain box with an OK button ("SendMessage fail" when a trace request finds no window).
  std::function<void(const std::string& caption, const std::string& text)> show_message_box =
      [](const std::string&, const std::string&) {};
  // Development mode's modal information box about the loaded image.
  std::function<void(const std::string& text)> show_information = [](const std::string&) {};
  // The log window was shown (true) or hidden (false) by the engine's toggle.
  std::function<void(bool visible)> log_window_visibility = [](bool) {};
  // The cable-lost box ("Warning" and its text), on a thread of its own; must return eventually.
  std::function<void(const std::string& caption, const std::string& text)> show_cable_lost_warning =
      [](const std::string&, const std::string&) {};
  // Whether ModemManager runs; asked at each start, whose first trace lines then warn of it.
  std::function<bool()> modem_manager_running = [] { return false; };
  // The port setup dialog: the free ports in list order and the port to preselect. Nothing when
  // the operator cancels.
  std::function<std::optional<PortChoice>(const std::vector<std::string>& free_ports,
                                          const std::string& initial_port)>
      run_port_setup = [](const std::vector<std::string>&,
                          const std::string&) -> std::optional<PortChoice> { return {}; };
};

}  // namespace kvx
