#include "platform/fake_serial_device.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace kvx {

// One open of a FakeSerialPort. All its state lives in the port, so the test sees it.
class FakeSerialDevice final : public SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeSerialPort> port) : port_(std::move(port)) {}
  ~FakeSerialDevice() override;

  int Configure(const SerialSettings& settings) override;
  SerialEvents WaitEvents() override;
  long Read(std::span<std::uint8_t> buffer) override;
  int Write(std::span<const std::uint8_t> data) override;
  void Interrupt() override;

 private:
  std::shared_ptr<FakeSerialPort> port_;
};

FakeSerialDevice::~FakeSerialDevice() {
  FakeSerialPort& p = *port_;
  std::unique_lock lock(p.mutex_);
  if (p.hang_close_) {
    p.close_hanging_ = true;
    p.cv_.notify_all();
    p.cv_.wait(lock, [&p] { return !p.hang_close_; });
    p.close_hanging_ = false;
  }
  p.open_ = false;
  p.dtr_ = false;
  p.pending_.clear();
  p.processing_ = false;
  p.cv_.notify_all();
}

int FakeSerialDevice::Configure(const SerialSettings& settings) {
  FakeSerialPort& p = *port_;
  std::lock_guard guard(p.mutex_);
  if (p.configure_refusals_ > 0) {
    --p.configure_refusals_;
    return p.configure_error_;
  }
  p.settings_ = settings;
  p.dtr_ = true;
  ++p.configure_count_;
  return 0;
}

SerialEvents FakeSerialDevice::WaitEvents() {
  FakeSerialPort& p = *port_;
  std::unique_lock lock(p.mutex_);
  p.processing_ = false;
  p.cv_.notify_all();
  p.cv_.wait(lock, [&p] {
    return p.interrupted_ || !p.pending_.empty() || p.dsr_pending_ || p.wait_error_ != 0;
  });
  ++p.wakeups_;
  SerialEvents events;
  if (p.interrupted_) {
    events.interrupted = true;
    return events;
  }
  if (p.dsr_pending_) {
    p.dsr_pending_ = false;
    events.dsr_changed = true;
    events.dsr_on = p.dsr_on_;
  }
  events.rx = !p.pending_.empty();
  if (p.wait_error_ != 0) {
    events.error = p.wait_error_;  // a failed device fails every later wait too
  }
  // Settled again once the reader comes back to wait, or lets go of the failed device.
  p.processing_ = true;
  p.cv_.notify_all();
  return events;
}

long FakeSerialDevice::Read(std::span<std::uint8_t> buffer) {
  FakeSerialPort& p = *port_;
  std::lock_guard guard(p.mutex_);
  const std::size_t n = std::min(buffer.size(), p.pending_.size());
  std::copy_n(p.pending_.begin(), n, buffer.begin());
  p.pending_.erase(p.pending_.begin(), p.pending_.begin() + static_cast<std::ptrdiff_t>(n));
  p.cv_.notify_all();
  return static_cast<long>(n);
}

int FakeSerialDevice::Write(std::span<const std::uint8_t> data) {
  FakeSerialPort& p = *port_;
  FakeSerialPort::Terminal terminal;
  {
    std::lock_guard guard(p.mutex_);
    if (p.interrupted_) return ECANCELED;
    p.written_.insert(p.written_.end(), data.begin(), data.end());
    terminal = p.terminal_;
  }
  if (terminal) terminal(data);
  return 0;
}

void FakeSerialDevice::Interrupt() {
  FakeSerialPort& p = *port_;
  std::lock_guard guard(p.mutex_);
  p.interrupted_ = true;
  p.cv_.notify_all();
}

void FakeSerialPort::Deliver(std::span<const std::uint8_t> bytes) {
  std::lock_guard guard(mutex_);
  if (!open_) return;
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  cv_.notify_all();
}

void FakeSerialPort::Deliver(std::string_view bytes) {
  Deliver(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void FakeSerialPort::SetDsr(bool on) {
  std::lock_guard guard(mutex_);
  if (dsr_on_ == on) return;
  dsr_on_ = on;
  if (open_) dsr_pending_ = true;
  cv_.notify_all();
}

void FakeSerialPort::InjectWaitError(int error) {
  std::lock_guard guard(mutex_);
  if (!open_) return;
  wait_error_ = error;
  cv_.notify_all();
}

void FakeSerialPort::RefuseOpen(int error) {
  std::lock_guard guard(mutex_);
  open_error_ = error;
  opens_before_error_ = 0;
}

void FakeSerialPort::RefuseOpenAfter(int opens, int error) {
  std::lock_guard guard(mutex_);
  open_error_ = error;
  opens_before_error_ = opens;
}

void FakeSerialPort::RefuseConfigure(int times, int error) {
  std::lock_guard guard(mutex_);
  configure_refusals_ = times;
  configure_error_ = error;
}

void FakeSerialPort::HangClose() {
  std::lock_guard guard(mutex_);
  hang_close_ = true;
}

void FakeSerialPort::ReleaseClose() {
  std::lock_guard guard(mutex_);
  hang_close_ = false;
  cv_.notify_all();
}

void FakeSerialPort::SetTerminal(Terminal terminal) {
  std::lock_guard guard(mutex_);
  terminal_ = std::move(terminal);
}

std::vector<std::uint8_t> FakeSerialPort::written() const {
  std::lock_guard guard(mutex_);
  return written_;
}

std::string FakeSerialPort::written_text() const {
  std::lock_guard guard(mutex_);
  return std::string(written_.begin(), written_.end());
}

void FakeSerialPort::ClearWritten() {
  std::lock_guard guard(mutex_);
  written_.clear();
}

bool FakeSerialPort::is_open() const {
  std::lock_guard guard(mutex_);
  return open_;
}

int FakeSerialPort::open_count() const {
  std::lock_guard guard(mutex_);
  return open_count_;
}

int FakeSerialPort::configure_count() const {
  std::lock_guard guard(mutex_);
  return configure_count_;
}

SerialSettings FakeSerialPort::settings() const {
  std::lock_guard guard(mutex_);
  return settings_;
}

bool FakeSerialPort::dtr() const {
  std::lock_guard guard(mutex_);
  return dtr_;
}

int FakeSerialPort::wakeups() const {
  std::lock_guard guard(mutex_);
  return wakeups_;
}

bool FakeSerialPort::WaitForWakeups(int count, std::chrono::milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, bound, [this, count] { return wakeups_ >= count; });
}

bool FakeSerialPort::QuiescentLocked() const {
  if (!open_ || interrupted_) return true;
  return pending_.empty() && !dsr_pending_ && wait_error_ == 0 && !processing_;
}

bool FakeSerialPort::WaitUntilQuiescent(std::chrono::milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, bound, [this] { return QuiescentLocked(); });
}

bool FakeSerialPort::WaitUntilCloseHangs(std::chrono::milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, bound, [this] { return close_hanging_; });
}

bool FakeSerialPort::WaitUntilClosed(std::chrono::milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, bound, [this] { return !open_; });
}

SerialOpenResult FakeSerialPort::OpenDevice(const std::shared_ptr<FakeSerialPort>& self) {
  std::lock_guard guard(mutex_);
  if (open_error_ != 0 && opens_before_error_ == 0) return {nullptr, open_error_};
  if (open_) return {nullptr, EBUSY};
  if (opens_before_error_ > 0) --opens_before_error_;
  open_ = true;
  interrupted_ = false;
  processing_ = false;
  pending_.clear();
  dsr_pending_ = false;
  wait_error_ = 0;
  ++open_count_;
  return {std::make_unique<FakeSerialDevice>(self), 0};
}

std::shared_ptr<FakeSerialPort> FakeSerialDeviceOpener::AddPort(const std::string& path) {
  std::lock_guard guard(mutex_);
  auto& port = ports_[path];
  if (!port) port = std::make_shared<FakeSerialPort>(path);
  return port;
}

void FakeSerialDeviceOpener::RemovePort(const std::string& path) {
  std::lock_guard guard(mutex_);
  ports_.erase(path);
}

SerialOpenResult FakeSerialDeviceOpener::Open(const std::string& path) {
  std::shared_ptr<FakeSerialPort> port;
  {
    std::lock_guard guard(mutex_);
    const auto it = ports_.find(path);
    if (it == ports_.end()) return {nullptr, ENOENT};
    port = it->second;
  }
  return port->OpenDevice(port);
}

}  // namespace kvx
