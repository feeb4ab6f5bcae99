#include "sim/at_responder.h"

namespace kvx::sim {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kOk = "OK\r\n";
constexpr std::string_view kError = "ERROR\r\n";
constexpr std::string_view kNvUpdatePrefix = "AT+MMI=\"NEW_NVM_VERSION\",";
constexpr std::size_t kMaxNvText = 4;  // the terminal keeps four characters

struct KnownCommand {
  std::string_view bytes;
  AtStep step;
  bool in_application;  // known before the restart into download mode
  bool in_boot_loader;  // known after it
};

constexpr KnownCommand kCommands[] = {
    {"AT\r", AtStep::kLink, true, true},
    {"AT+CEXT=1\r", AtStep::kLink, true, true},
    {"at+hwver\r", AtStep::kHwver, true, false},
    {"at+ggmr\r", AtStep::kGgmr, true, false},
    {"AT+MMI=\"NV_VER_CHECK\"\r", AtStep::kNvCheck, true, false},
    {"AT+SYSVer\r", AtStep::kSysver, true, false},
    {"AT+MMI=\"USB_DOWNLOAD\"\r", AtStep::kUsbDownload, true, false},
    {"AT+UPAPP\r", AtStep::kUpapp, false, true},
    {"AT+UPGRADE\r", AtStep::kUpgrade, false, true},
};

std::array<Countdown, kAtStepCount> MakeCountdowns(const std::array<int, kAtStepCount>& times) {
  std::array<Countdown, kAtStepCount> countdowns;
  for (std::size_t i = 0; i < kAtStepCount; ++i) countdowns[i] = Countdown(times[i]);
  return countdowns;
}

}  // namespace

AtResponder::AtResponder(const AtConfig& config)
    : config_(config),
      errors_(MakeCountdowns(config.error_times)),
      silences_(MakeCountdowns(config.silent_times)) {}

std::optional<AtStep> AtResponder::Classify(std::string_view command, bool download_mode,
                                            std::string* nv_value) const {
  for (const auto& known : kCommands) {
    if (command == known.bytes && (download_mode ? known.in_boot_loader : known.in_application)) {
      return known.step;
    }
  }
  // AT+MMI="NEW_NVM_VERSION",xxxx: one to four characters of version text before the CR.
  if (!download_mode && command.starts_with(kNvUpdatePrefix) && command.ends_with('\r')) {
    const std::string_view value =
        command.substr(kNvUpdatePrefix.size(), command.size() - kNvUpdatePrefix.size() - 1);
    if (!value.empty() && value.size() <= kMaxNvText) {
      *nv_value = std::string(value);
      return AtStep::kNvUpdate;
    }
  }
  return std::nullopt;
}

AtReply AtResponder::Handle(std::string_view command, bool download_mode) {
  AtReply reply;
  std::string nv_value;
  reply.step = Classify(command, download_mode, &nv_value);
  if (reply.step) {
    const auto index = static_cast<std::size_t>(*reply.step);
    // A silenced command is lost whole: no echo either.
    if (silences_[index].Take()) return reply;
    if (config_.echo) reply.bytes.append(command);
    if (errors_[index].Take()) {
      reply.bytes.append(kError);
    } else {
      Answer(*reply.step, nv_value, &reply);
    }
    return reply;
  }
  if (config_.echo) reply.bytes.append(command);
  reply.bytes.append(kError);
  return reply;
}

void AtResponder::Answer(AtStep step, const std::string& nv_value, AtReply* reply) {
  std::string& out = reply->bytes;
  switch (step) {
    case AtStep::kLink:
      out.append(kOk);
      break;
    case AtStep::kHwver:
      out.append(config_.hwver_reply).append(kLineEnd).append(kOk);
      break;
    case AtStep::kGgmr:
      out.append(config_.ggmr_reply).append(kLineEnd).append(kOk);
      break;
    case AtStep::kNvCheck:
      out.append("NV_VER").append(config_.nv_version).append(kLineEnd);
      break;
    case AtStep::kNvUpdate:
      config_.nv_version = nv_value;
      out.append(kOk);
      break;
    case AtStep::kSysver:
      out.append(config_.sysver_reply).append(kLineEnd);
      break;
    case AtStep::kUsbDownload:
      out.append(kOk);
      reply->enter_download = true;
      break;
    case AtStep::kUpapp:
      out.append("+UPAPP\r\n");
      break;
    case AtStep::kUpgrade:
      out.append("+START\r\n");
      reply->start_binary = true;
      break;
  }
}

}  // namespace kvx::sim
