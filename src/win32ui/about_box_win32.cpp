#include "win32ui/about_box.h"

#include <string>

#include "operator/app_identity.h"
#include "win32ui/resource_ids.h"

namespace kvx::win32ui {

void PrepareAboutBox(DialogWindow& box) {
  const std::string name(ui::kProductName);
  box.SetText(IDC_ABOUT_VERSION, name + " Version " + std::string(ui::kVersionText) + " ");
  box.SetText(IDC_ABOUT_COPYRIGHT, ui::kCopyrightLine);
  box.SetCaption("About " + name + " ");
}

void RunAboutBox(NativeWindow owner) {
  DialogWindow::RunModal(IDD_ABOUT, owner, PrepareAboutBox);
}

}  // namespace kvx::win32ui
