#include "ui/qt_message_queue.h"

#include <QMetaObject>

namespace kvx::ui {

QtMessageQueue::~QtMessageQueue() {
  Close();
}

void QtMessageQueue::Announce() {
  // One event per item, each delivering the oldest one waiting.
  QMetaObject::invokeMethod(
      this, [this] { DeliverOne(); }, Qt::QueuedConnection);
}

}  // namespace kvx::ui
