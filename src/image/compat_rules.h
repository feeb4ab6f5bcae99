// The rules that decide whether an image may be installed on the connected terminal, and how much
// of it is sent.
//
// Three rules compare the image's version records with the terminal's: the MMI rule, the stack
// rule and the boot rule; the boot rule also chooses the send window (the whole image with its
// boot region, or only what follows the boot region). Two sequence helpers apply them the way the
// AT dialogue does, with the operator options:
//   apply_mmi_rule   after the terminal's MMI reply has been parsed (skipped for a terminal in
//                    EMERGENCY mode);
//   decide_download  then the stack rule, the boot rule and "Forced Bootloader upgrade enable".
// When either helper returns false the run must stop: the reason has been posted and traced, and
// the caller ends the run with Disconnect(0).
//
// Everything here runs on the engine thread; the host is only used during the call. Question 204
// blocks that thread until the operator answers.
#pragma once

#include <compare>
#include <cstdint>

#include "image/version_info.h"
#include "platform/message.h"
#include "platform/trace.h"
#include "protocol/frame_format.h"

namespace kvx {

// What the rules need from the engine (CUpgradeWorker implements it; tests use a fake).
class CompatHost : public LogSink {
 public:
  // Posts WM_USER_BTN_CTRL to the main window: wParam `button` (BTN_ENABLE, or BTN_DISABLE for
  // the boot rule in development mode), lParam the string id.
  virtual void PostButtonControl(WPARAM button, int string_id) = 0;
  // Sends WM_USER_ASK with lParam `question_id` and returns the answer (IDYES for Yes).
  virtual LRESULT Ask(int question_id) = 0;
  // Development mode of the engine.
  virtual bool IsDevMode() const = 0;
};

// The operator options of the run (bits of WM_USER_UPGRADE_START).
struct RunOptions {
  bool downgrade = false;    // "Downgrade enable"
  bool force_stack = false;  // "Forced Stack upgrade activation"
  bool force_boot = false;   // "Forced Bootloader upgrade enable"
};

// The records the rules compare; the engine's own, read during the call only.
struct RuleRecords {
  const version_info_s& image_mmi;
  const version_info_s& terminal_mmi;
  const version_info_s& image_stack;
  const version_info_s& terminal_stack;
  const bsp_info_s& image_boot;
  const bsp_info_s& terminal_boot;
};

// The part of the image the download sends: `size` bytes from `offset`, in `segment_count`
// segments. The engine hands it to the image (SendWholeImage or SendFrom).
struct SendWindow {
  static constexpr std::uint64_t kBootRegionSize = 0x40000;  // the first 256 KiB

  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  bool boot_included = false;
  std::int32_t segment_count = 0;

  bool operator==(const SendWindow&) const = default;
};

// The whole image, boot region included.
SendWindow whole_image_window(std::uint64_t image_size);

// Major, then minor, then patch; the first difference decides.
std::strong_ordering compare_versions(const version_info_s& a, const version_info_s& b);

// The MMI rule. Posts 152 (unknown versions, or another region or edition) or 151 (image lower,
// outside development mode); asks question 204 when the versions are equal.
bool check_mmi_version(CompatHost& host, const RuleRecords& records);

// How the stack rule ended. It posts no operator message itself.
enum class StackRuleResult {
  kPass,
  kUnknown,  // one or both stack versions unknown
  kLower,    // the image's stack is older than the terminal's (outside development mode)
};
StackRuleResult evaluate_stack_rule(CompatHost& host, const RuleRecords& records,
                                    const RunOptions& options);
// True when evaluate_stack_rule passes.
bool check_stack_version(CompatHost& host, const RuleRecords& records, const RunOptions& options);

// The boot rule. On true `window` holds what to send; on false it is unchanged and the refusal's
// message has been posted. An image no larger than the boot region whose boot major equals the
// terminal's has nothing to send after that region: refused with 138.
bool check_bsp_version(CompatHost& host, const RuleRecords& records, std::uint64_t image_size,
                       SendWindow& window);

// Sequence: the MMI rule and "Downgrade enable". True: go on.
bool apply_mmi_rule(CompatHost& host, const RuleRecords& records, const RunOptions& options);

// Sequence: the stack rule, the boot rule and "Forced Bootloader upgrade enable". True: go on to
// download mode and send `window`. A refused stack stops the run like a refused MMI rule does
// (message 152 for unknown versions, 151 for an older image), unless "Downgrade enable" is on.
bool decide_download(CompatHost& host, const RuleRecords& records, const RunOptions& options,
                     std::uint64_t image_size, SendWindow& window);

}  // namespace kvx
