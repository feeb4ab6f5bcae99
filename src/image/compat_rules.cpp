#include "image/compat_rules.h"

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>

#include "platform/string_table.h"
#include "platform/user_messages.h"

namespace kvx {
namespace {

constexpr const char* kForcingUpgrade = "@@강제 업그레이드 합니다\n";
constexpr const char* kForcedDowngrade = "Development mode enable. force down-grade";

void Red(LogSink& log, const std::string& text) {
  log.WriteLog(text, kTraceRed, LOG_TEXT);
}
void Black(LogSink& log, const std::string& text) {
  log.WriteLog(text, kTraceBlack, LOG_TEXT);
}

void TraceVersion(LogSink& log, const char* format, const version_info_s& v) {
  Red(log, format_text(format, v.major, v.minor, v.patch));
}

// A refusal of the boot rule: its message first (buttons stay disabled in development mode),
// then its trace line.
bool RefuseBoot(CompatHost& host, int string_id, const std::string& line, COLORREF colour) {
  host.PostButtonControl(host.IsDevMode() ? BTN_DISABLE : BTN_ENABLE, string_id);
  host.WriteLog(line, colour, LOG_TEXT);
  return false;
}

// The boot rule when both records are valid.
bool CompareValidBoots(CompatHost& host, const bsp_info_s& image, const bsp_info_s& terminal,
                       std::uint64_t image_size, SendWindow& window) {
  if (image.base != terminal.base) {
    return RefuseBoot(host, IDS_VERSION_MISMATCH_56, "Velmora_JQ Base Miss match, check BINARY\n",
                      kTraceBlack);
  }
  if (image.standard != terminal.standard) {
    return RefuseBoot(host, IDS_VERSION_MISMATCH_57,
                      "Velmora_JQ standard information Miss match, check BINARY\n", kTraceBlack);
  }
  if (image.type != terminal.type) {
    return RefuseBoot(host, IDS_VERSION_MISMATCH_58, "Velmora_JQ type Miss match, check BINARY\n",
                      kTraceBlack);
  }
  for (std::size_t k = 0; k < image.hw.size(); ++k) {
    if (image.hw[k] != terminal.hw[k]) {
      return RefuseBoot(
          host, IDS_HW_UPGRADE_REQUIRED,
          format_text("Velmora_JQ H/W[%zu] is miss-match. H/W upgrade is required \n", k),
          kTraceRed);
    }
  }

  if (image.major == terminal.major) {
    // The bootloader stays; only what follows the boot region is sent.
    if (image_size <= SendWindow::kBootRegionSize) {
      return RefuseBoot(host, IDS_WRONG_IMAGE,
                        format_text("Velmora_JQ Binary holds no Stack area [%llu bytes], check "
                                    "BINARY\n",
                                    static_cast<unsigned long long>(image_size)),
                        kTraceBlack);
    }
    const std::uint64_t size = image_size - SendWindow::kBootRegionSize;
    window = SendWindow{SendWindow::kBootRegionSize, size, false, segment_count_for(size)};
    Red(host, format_text("Stack 영역만 전송합니다 [%d]\n", window.segment_count));
    return true;
  }

  Red(host, format_text("Binary[BootVer]=%u\tTarget[BootVer]=%u\n", image.major, terminal.major));
  if (image.major > terminal.major) {
    window = whole_image_window(image_size);
    Red(host, format_text("Bootloader 영역까지 전부 전송합니다 [%d]\n", window.segment_count));
    return true;
  }
  return RefuseBoot(
      host, IDS_LOWER_VERSION_60,
      "Velmora_JQ Bootloader version is higher than BINARY version. Downgrade is not allowed\n",
      kTraceBlack);
}

}  // namespace

SendWindow whole_image_window(std::uint64_t image_size) {
  return SendWindow{0, image_size, true, segment_count_for(image_size)};
}

std::strong_ordering compare_versions(const version_info_s& a, const version_info_s& b) {
  return std::tie(a.major, a.minor, a.patch) <=> std::tie(b.major, b.minor, b.patch);
}

bool check_mmi_version(CompatHost& host, const RuleRecords& records) {
  const version_info_s& image = records.image_mmi;
  const version_info_s& terminal = records.terminal_mmi;
  if (!image.valid || !terminal.valid || image.region != terminal.region ||
      image.edition != terminal.edition) {
    host.PostButtonControl(BTN_ENABLE, IDS_UNKNOWN_VERSIONS);
    return false;
  }
  TraceVersion(host, "binary mmi ver [%u][%u][%u]\n", image);
  TraceVersion(host, "target mmi ver [%u][%u][%u]\n", terminal);

  const std::strong_ordering order = compare_versions(image, terminal);
  if (order > 0) return true;
  if (order < 0) {
    if (host.IsDevMode()) {
      Red(host, kForcedDowngrade);
      return true;
    }
    host.PostButtonControl(BTN_ENABLE, IDS_LOWER_VERSION);
    Black(host, "MMI version is lower than Binary version. Downgrade is not allowed\n");
    return false;
  }

  Red(host, "MMI 버전이 서로 같음.");
  if (host.Ask(IDS_SAME_VERSION_QUESTION) == IDYES) {
    Red(host, "동일 버전, 사용자가 업그레이드 계속 요구");
    return true;
  }
  Red(host, "동일 버전 사용자가 업그레이드 안하도록 요구");
  return false;
}

StackRuleResult evaluate_stack_rule(CompatHost& host, const RuleRecords& records,
                                    const RunOptions& options) {
  const version_info_s& image = records.image_stack;
  const version_info_s& terminal = records.terminal_stack;
  if (options.force_stack) {
    Red(host, "Stack 강제 업그레이드\n");
    return StackRuleResult::kPass;
  }
  if (terminal.emergency) {
    Black(host, "Velmora JQ EMERGENCY boot mode\n");
    return StackRuleResult::kPass;
  }
  if (!image.valid || !terminal.valid) {
    if (!image.valid && !terminal.valid) {
      Black(host, "Velmora JQ stack version and Binary stack version is unknown. Can't Upgrade\n");
    } else if (!image.valid) {
      Black(host, "Binary stack version is unknown. Can't Upgrade. Check Binary image\n");
    } else {
      Black(host, "Velmora JQ stack version is unknown. Can't Upgrade. contact OKVI\n");
    }
    return StackRuleResult::kUnknown;
  }
  TraceVersion(host, "binary stack ver [%u][%u][%u]\n", image);
  TraceVersion(host, "target stack ver [%u][%u][%u]\n", terminal);

  if (compare_versions(image, terminal) >= 0) return StackRuleResult::kPass;
  if (host.IsDevMode()) {
    Red(host, kForcedDowngrade);
    return StackRuleResult::kPass;
  }
  Black(host, "S/W version is lower than Binary version. Downgrade is not allowed\n");
  return StackRuleResult::kLower;
}

bool check_stack_version(CompatHost& host, const RuleRecords& records, const RunOptions& options) {
  return evaluate_stack_rule(host, records, options) == StackRuleResult::kPass;
}

bool check_bsp_version(CompatHost& host, const RuleRecords& records, std::uint64_t image_size,
                       SendWindow& window) {
  const bsp_info_s& image = records.image_boot;
  const bsp_info_s& terminal = records.terminal_boot;
  if (image.valid && terminal.valid) {
    return CompareValidBoots(host, image, terminal, image_size, window);
  }
  if (image.valid) {
    return RefuseBoot(host, IDS_VERSION_MISMATCH_64,
                      "Velmora KVX-01 Bootloader version is unknown. Can't Upgrade. Reboot and "
                      "reconnect Velmora KVX-01 and try again\n",
                      kTraceBlack);
  }
  if (!terminal.valid) {
    return RefuseBoot(host, IDS_VERSION_MISMATCH_62,
                      "Velmora_JQ Bootloader version and Binary Bootloader version is unknown. "
                      "Can't Upgrade\n",
                      kTraceBlack);
  }
  return RefuseBoot(host, IDS_VERSION_MISMATCH_63,
                    "Binary Bootloader version is unknown. Can't Upgrade. Check Binary image\n",
                    kTraceBlack);
}

bool apply_mmi_rule(CompatHost& host, const RuleRecords& records, const RunOptions& options) {
  if (check_mmi_version(host, records)) return true;
  if (options.downgrade) {
    Red(host, kForcingUpgrade);
    return true;
  }
  Red(host, "@@check_mmi_version false\n");
  return false;
}

bool decide_download(CompatHost& host, const RuleRecords& records, const RunOptions& options,
                     std::uint64_t image_size, SendWindow& window) {
  const StackRuleResult stack = evaluate_stack_rule(host, records, options);
  if (stack != StackRuleResult::kPass) {
    // The stack rule has no message of its own: the MMI rule's texts say the same to the operator.
    if (options.downgrade) {
      Red(host, kForcingUpgrade);
    } else {
      host.PostButtonControl(
          BTN_ENABLE, stack == StackRuleResult::kLower ? IDS_LOWER_VERSION : IDS_UNKNOWN_VERSIONS);
      Red(host, "@@check_stack_version false\n");
      return false;
    }
  }

  const bool boot_passed = check_bsp_version(host, records, image_size, window);
  if (options.force_boot) {
    Red(host, "Bootloader 강제 업그레이드\n");
    window = whole_image_window(image_size);
    Red(host, format_text("Bootloader 영역까지 전부 전송합니다 [%d]\n", window.segment_count));
    return true;
  }
  if (!boot_passed) {
    Red(host, "@@check_bsp_version false\n");
    return false;
  }
  return true;
}

}  // namespace kvx
