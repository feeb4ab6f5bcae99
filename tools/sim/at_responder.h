// The terminal's AT command interpreter: one complete command in, the bytes of its answer out.
//
// Commands are matched byte for byte against what the host must send (upper and lower case as
// the host writes them, CR included); anything else is answered "ERROR", as the terminal's
// firmware does for a command it does not know. Configured faults ("ERROR" or silence at a
// step) are consumed as the steps occur.
//
// Not thread-safe; owned and called by one Terminal.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/sim_options.h"

namespace kvx::sim {

struct AtReply {
  std::optional<AtStep> step;   // the step the command belongs to; none for an unknown command
  std::string bytes;            // echo and answer lines, possibly empty
  bool enter_download = false;  // the download-mode request was acknowledged: restart
  bool start_binary = false;    // "+START" went out: download frames follow
};

class AtResponder {
 public:
  explicit AtResponder(const AtConfig& config);

  // `command` holds the bytes up to and including the terminating CR. `download_mode` selects
  // the boot loader's command set (link test, AT+UPAPP, AT+UPGRADE) over the application's.
  AtReply Handle(std::string_view command, bool download_mode);

  // The NV version the terminal now reports (changed by AT+MMI="NEW_NVM_VERSION").
  const std::string& nv_version() const { return config_.nv_version; }

 private:
  // The step of a command known in this mode; for the NV update also its new version text.
  std::optional<AtStep> Classify(std::string_view command, bool download_mode,
                                 std::string* nv_value) const;
  // The answer of a step that runs normally.
  void Answer(AtStep step, const std::string& nv_value, AtReply* reply);

  AtConfig config_;
  std::array<Countdown, kAtStepCount> errors_;
  std::array<Countdown, kAtStepCount> silences_;
};

}  // namespace kvx::sim
