// Every version parser on the same untrusted text (an image's or a terminal reply's), under each
// of its option settings. The parsers must stay inside the text and their own limits.
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "image/version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kvx::fuzz::DiscardingLog log;

  for (const kvx::MmiSide side : {kvx::MmiSide::kImage, kvx::MmiSide::kTerminal}) {
    kvx::version_info_s mmi;
    kvx::parse_mmi_version(text, side, mmi);
  }
  kvx::version_info_s stack;
  kvx::parse_binary_stack_version(text, stack, log);
  kvx::version_info_s target_stack;
  kvx::parse_target_stack_version(text, target_stack);

  for (const bool widened : {false, true}) {
    kvx::bsp_info_s boot;
    kvx::parse_bsp_ver(text, boot, widened, log);
    kvx::bsp_info_s target_boot;
    kvx::parse_target_bsp_ver(text, target_boot, widened, log);
    kvx::boot_type_name(kvx::classify_boot_type(static_cast<char>(boot.type)));
  }

  kvx::nv_version_s nv;
  const bool found = kvx::extract_nv_version(text, nv);
  kvx::fuzz::Require(found || nv.empty(), "no NV_VER leaves the NV version empty");
  kvx::fuzz::Require(nv.bytes[4] == '\0', "NV version keeps its terminator");
  kvx::nv_version_value(nv);

  kvx::ansi_text_to_utf8(text);
  return 0;
}
