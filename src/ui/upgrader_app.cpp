#include "ui/upgrader_app.h"

#include <QApplication>
#include <QTimer>
#include <memory>

#include "operator/config_file.h"
#include "operator/engine_link.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "platform/serial_device.h"
#include "platform/serial_port_source.h"
#include "ui/main_window.h"
#include "ui/qt_message_queue.h"
#include "ui/qt_operator_dialogs.h"
#include "ui/ui_resources.h"

namespace kvx::ui {

int CSKY_DECK_UPGRADERApp::Run() {
  InitUiResources();
  QApplication::setQuitOnLastWindowClosed(false);

  // Declared in the order they may be destroyed in reverse: the window before the engine link
  // and the queue it is bound to.
  SteadyClock clock;
  const std::unique_ptr<SerialDeviceOpener> opener = MakeSystemSerialDeviceOpener();
  SystemSerialPortSource ports;
  const std::unique_ptr<ProfileStore> profile = MakeUserProfileStore();
  QtMessageQueue queue;
  QtOperatorDialogs dialogs;
  EngineThreadLink engine(clock, *opener, ports, *profile);
  CSKY_DECK_UPGRADERDlg window(
      {engine, dialogs, *profile, clock, queue, queue, ConfigFilePathForThisProgram()});
  dialogs.SetOwner(&window);
  QObject::connect(&window, &CSKY_DECK_UPGRADERDlg::ended, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  // The window shows itself once the start-up warning has been confirmed.
  QTimer::singleShot(0, &window, [&window] { window.OnInitDialog(); });
  QApplication::exec();
  return 0;
}

}  // namespace kvx::ui
