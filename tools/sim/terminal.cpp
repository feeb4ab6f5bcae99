#include "sim/terminal.h"

#include "sim/log_format.h"

namespace kvx::sim {
namespace {

// Far longer than any command of the dialogue; a longer one is refused, not stored.
constexpr std::size_t kMaxCommand = 256;
// Ignored bytes are logged up to this many; a whole frame at the wrong rate would swamp the log.
constexpr std::size_t kMaxIgnoredLogged = 1024;

}  // namespace

Terminal::Terminal(const TerminalOptions& options, TerminalSink& sink)
    : options_(options), sink_(sink), responder_(options.at), faults_(options.download.faults) {}

const LineSpeed& Terminal::SpeedOfMode() const {
  return mode_ == TerminalMode::kApplication ? options_.normal_speed : options_.download_speed;
}

void Terminal::Receive(std::string_view bytes, int host_baud) {
  if (bytes.empty()) return;
  // A UART at another rate sees only garbage; a resetting terminal sees nothing at all.
  if (mode_ == TerminalMode::kResetting || !SpeedOfMode().Accepts(host_baud)) {
    std::string line = "ignored " + std::to_string(host_baud) + " " +
                       QuoteBytes(bytes.substr(0, kMaxIgnoredLogged));
    if (bytes.size() > kMaxIgnoredLogged) {
      line += " truncated " + std::to_string(bytes.size() - kMaxIgnoredLogged);
    }
    sink_.Log(line);
    return;
  }
  if (mode_ == TerminalMode::kBinary) {
    session_->Receive(bytes);
    if (const std::optional<std::chrono::milliseconds> away = session_->TakeVanish()) {
      EndTransfer();
      RestartInto(TerminalMode::kApplication, "application after vanishing", *away);
    }
    return;
  }
  ReceiveText(bytes, host_baud);
}

void Terminal::ReceiveText(std::string_view bytes, int baud) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (command_.size() < kMaxCommand) {
      command_ += c;
    } else {
      ++command_dropped_;
    }
    if (c != '\r') continue;
    HandleCommand(baud);
    if (mode_ == TerminalMode::kBinary) {
      // Whatever follows "+START" in the same read belongs to the download frames.
      Receive(bytes.substr(i + 1), baud);
      return;
    }
    if (mode_ == TerminalMode::kResetting) {
      if (i + 1 < bytes.size()) Receive(bytes.substr(i + 1), baud);
      return;
    }
  }
}

void Terminal::HandleCommand(int baud) {
  std::string line = "at " + std::to_string(baud) + " " + QuoteBytes(command_);
  if (command_dropped_ > 0) line += " truncated " + std::to_string(command_dropped_);
  sink_.Log(line);
  const bool boot_loader = mode_ == TerminalMode::kBootLoader;
  AtReply reply;
  if (command_dropped_ > 0) {
    reply.bytes = "ERROR\r\n";  // no command of the terminal is this long
  } else {
    reply = responder_.Handle(command_, boot_loader);
  }
  command_.clear();
  command_dropped_ = 0;
  if (!reply.bytes.empty()) {
    sink_.Log("reply " + QuoteBytes(reply.bytes));
    sink_.Send(reply.bytes);
  }
  if (reply.enter_download) RestartInto(TerminalMode::kBootLoader, "download mode");
  if (reply.start_binary) {
    mode_ = TerminalMode::kBinary;
    session_ = std::make_unique<DownloadSession>(options_.download, faults_, sink_);
    sink_.Log("event binary mode");
  }
}

void Terminal::HostClosed() {
  sink_.Log("event host closed");
  command_.clear();
  command_dropped_ = 0;
  if (InDownloadMode()) {
    EndTransfer();
    RestartInto(TerminalMode::kApplication, "application");
  }
}

void Terminal::Shutdown() {
  EndTransfer();
}

void Terminal::EndTransfer() {
  if (!session_) return;
  // The session goes first, so a sink that stops the program finds no transfer left.
  const std::unique_ptr<DownloadSession> session = std::move(session_);
  sink_.TransferEnded(session->Summary(), session->data());
}

void Terminal::RestartInto(TerminalMode next, std::string_view why,
                           std::chrono::milliseconds away) {
  sink_.Log("event restart into " + std::string(why));
  mode_ = TerminalMode::kResetting;
  mode_after_restart_ = next;
  sink_.Restart(away);
}

void Terminal::Restarted() {
  if (mode_ != TerminalMode::kResetting) return;
  mode_ = mode_after_restart_;
  sink_.Log(mode_ == TerminalMode::kBootLoader ? "event line back in download mode"
                                               : "event line back in application mode");
}

}  // namespace kvx::sim
