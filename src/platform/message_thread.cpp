#include "platform/message_thread.h"

namespace kvx {

MessageThread::~MessageThread() {
  Join();
}

void MessageThread::Start() {
  thread_ = std::thread([this] { Main(); });
}

void MessageThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void MessageThread::Main() {
  loop_ = std::make_unique<MessageLoop>(clock_);
  if (InitInstance()) loop_->Run();
  ExitInstance();
  loop_.reset();
}

}  // namespace kvx
