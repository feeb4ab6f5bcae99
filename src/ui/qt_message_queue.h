// The GUI thread's queue on Qt: window messages posted or sent to the main window from the engine,
// and tasks queued for the GUI thread, each announced by a queued call through Qt's event loop
// (see GuiThreadQueue for the order and the end).
#pragma once

#include <QObject>

#include "operator/gui_thread_queue.h"

namespace kvx::ui {

class QtMessageQueue final : public QObject, public GuiThreadQueue {
  Q_OBJECT

 public:
  explicit QtMessageQueue(QObject* parent = nullptr) : QObject(parent) {}
  ~QtMessageQueue() override;

 private:
  void Announce() override;
};

}  // namespace kvx::ui
