#pragma once

#include <cstdint>
#include <string>

namespace kvx {

// What one run learnt of its terminal and did to it, kept after the run has ended (until the next
// Start) so a front end can record it. Texts are the terminal's replies as UTF-8, without their
// line ends; empty where the dialogue did not get that far.
struct RunRecord {
  std::string hw_version;     // the hardware and boot version reply
  std::string stack_version;  // the stack version line
  std::string mmi_version;    // the accepted MMI version reply
  std::string nv_before;      // the terminal's NV version as it answered
  std::string nv_after;       // the NV version it was given, or nv_before when left alone
  bool download_decided = false;
  bool boot_included = false;  // a bootloader upgrade: the whole image is sent
  std::int32_t segments = 0;   // segments of the download
  std::int32_t resends = 0;    // frames sent again, over the whole download
};

}  // namespace kvx
