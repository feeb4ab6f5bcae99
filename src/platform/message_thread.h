// A thread that runs one message loop, as a user-interface thread does.
//
// Created idle; Start() runs InitInstance on the new thread, then the loop until Quit, then
// ExitInstance. The object owns the thread: Join() (or the destructor) waits for its end.
#pragma once

#include <memory>
#include <thread>

#include "platform/message_loop.h"

namespace kvx {

class MessageThread {
 public:
  explicit MessageThread(Clock& clock) : clock_(clock) {}
  // Joins the thread. A derived class must Join() in its own destructor if its overrides touch
  // its members.
  virtual ~MessageThread();

  MessageThread(const MessageThread&) = delete;
  MessageThread& operator=(const MessageThread&) = delete;

  void Start();
  void Join();
  bool joinable() const { return thread_.joinable(); }

 protected:
  // On the new thread, with loop() ready. Return false to end the thread without running the loop.
  virtual bool InitInstance() = 0;
  // On the new thread after the loop ended; its result is the thread's exit code.
  virtual int ExitInstance() { return 0; }

  // The thread's loop; exists from just before InitInstance until just after ExitInstance.
  MessageLoop& loop() { return *loop_; }
  Clock& clock() { return clock_; }

 private:
  void Main();

  Clock& clock_;
  std::unique_ptr<MessageLoop> loop_;
  std::thread thread_;
};

}  // namespace kvx
