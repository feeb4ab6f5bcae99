// kvx-upgrader.exe: the Windows operator window. The engine runs on its own thread and reports to
// the window through the window thread's queue; Config.ini lives beside the program when its
// folder is writable.
#include <memory>

#include "operator/config_file.h"
#include "operator/engine_link.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "platform/serial_device.h"
#include "platform/serial_port_source.h"
#include "win32ui/gui_queue.h"
#include "win32ui/main_window.h"

// After the program's headers: <windows.h> defines macros named like their constants.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  kvx::win32ui::LoadRichTextLibrary();

  // Declared in the order they may be destroyed in reverse: the window before the engine link
  // and the queue it is bound to.
  kvx::SteadyClock clock;
  const std::unique_ptr<kvx::SerialDeviceOpener> opener = kvx::MakeSystemSerialDeviceOpener();
  kvx::SystemSerialPortSource ports;
  const std::unique_ptr<kvx::ProfileStore> profile = kvx::MakeUserProfileStore();
  kvx::win32ui::GuiQueue queue;
  kvx::ui::EngineThreadLink engine(clock, *opener, ports, *profile);
  kvx::win32ui::MainWindow window(queue, engine, *profile, clock,
                                  kvx::ui::ConfigFilePathForThisProgram());
  if (!window.Create()) return 1;
  window.Start();
  return window.Run();
}
