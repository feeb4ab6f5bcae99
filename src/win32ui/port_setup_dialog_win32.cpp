#include "win32ui/port_setup_dialog.h"

#include <windows.h>

#include "win32ui/resource_ids.h"

namespace kvx::win32ui {

void PreparePortSetup(DialogWindow& dialog, const std::vector<std::string>& ports,
                      std::string_view initial_port) {
  for (const std::string& port : ports) dialog.AddListItem(IDC_PORT_LIST, port);
  if (!dialog.SelectListItem(IDC_PORT_LIST, initial_port)) dialog.SelectListIndex(IDC_PORT_LIST, 0);
  dialog.AddListItem(IDC_BAUD_LIST, "115200");
  dialog.AddListItem(IDC_BAUD_LIST, "460800");
  dialog.SelectListIndex(IDC_BAUD_LIST, 0);
}

PortChoice ReadPortChoice(const DialogWindow& dialog) {
  return {dialog.SelectedListText(IDC_PORT_LIST), dialog.SelectedListText(IDC_BAUD_LIST)};
}

std::optional<PortChoice> RunPortSetup(NativeWindow owner, const std::vector<std::string>& ports,
                                       std::string_view initial_port, DialogWindow** running) {
  std::optional<PortChoice> choice;
  const int result = DialogWindow::RunModal(IDD_PORT_SETUP, owner, [&](DialogWindow& dialog) {
    if (running) *running = &dialog;
    PreparePortSetup(dialog, ports, initial_port);
    dialog.OnCommand(IDOK, [&dialog, &choice] {
      choice = ReadPortChoice(dialog);
      dialog.EndModal(IDOK);
    });
  });
  if (running) *running = nullptr;
  if (result != IDOK) choice.reset();
  return choice;
}

}  // namespace kvx::win32ui
