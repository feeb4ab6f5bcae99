#include "platform/string_table.h"

#include <array>
#include <utility>

namespace kvx {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 32> kStrings{{
    {IDS_FILE_OPEN_FAIL, "Failed to open the file"},
    {IDS_FILE_SIZE_BIG, "File size is too big.\nPlease contact Velmora Customer Care for support."},
    {IDS_MEM_ALLOC_FAIL, "Memory allocation failed.\nPlease restart your computer."},
    {IDS_WRONG_BSP_VER, "Wrong firmware is loaded.\nBSP version cannot be checked."},
    {IDS_WRONG_IMAGE, "Current binary is not correct for KVX-01."},
    {IDS_INIT_IN_PROGRESS, "Initialization is in progress (2/2)                           "},
    {IDS_UPGRADE_IN_PROGRESS, "Upgrade is in progress                                       "},
    {IDS_UPGRADE_COMPLETED, "Upgrade has been completed                                          "},
    {IDS_UPGRADE_FAILED, "Upgrade failed.\nPlease reboot your Velmora KVX-01 and PC."},
    {IDS_CONNECTION_FAILED,
     "Connection failed. Please follow next steps. \n1. Make sure that cable is properly "
     "connected. \n2. Make sure that serial port is properly selected. \n3. Restart your Velmora "
     "KVX-01."},
    {IDS_LOWER_VERSION, "The selected SW is lower version!"},
    {IDS_UNKNOWN_VERSIONS,
     "Current Velmora KVX-01 version and binary version are unknown.\nPlease contact Velmora "
     "Customer Care for support."},
    {IDS_BINARY_VERSION_UNKNOWN,
     "Binary version is unknown.\nPlease contact Velmora Customer Care for support."},
    {IDS_VERSION_MISMATCH_56,
     "The file version mismatched.\nPlease check the file and try again (error 56)"},
    {IDS_VERSION_MISMATCH_57,
     "The file version mismatched.\nPlease check the file and try again. (error 57)"},
    {IDS_VERSION_MISMATCH_58,
     "The file version mismatched.\nPlease check the file and try again. (error 58)"},
    {IDS_LOWER_VERSION_60, "The selected SW is lower version (error 60)"},
    {IDS_VERSION_MISMATCH_62,
     "The file version mismatched.\nPlease check the file and try again (error 62)"},
    {IDS_VERSION_MISMATCH_63,
     "The file version mismatched.\nPlease check the file and try again (error 63)"},
    {IDS_VERSION_MISMATCH_64,
     "The file version mismatched.\nPlease check the file and try again (error 64)"},
    {IDS_UNKNOWN_ERROR, "Unknown error occurred"},
    {IDS_EXIT_QUESTION, "Do you want to exit the program?"},
    {IDS_HW_UPGRADE_REQUIRED, "Failed to upgrade.\nH/W upgrade is required (error 71)"},
    {IDS_APP_CAPTION, "Velmora KVX-01 Upgrader"},
    {IDS_EXTRACT_FAIL,
     "Wrong firmware is loaded.\nPlease contact Velmora Customer Care for support (error 99)"},
    {IDS_NOT_KVX_ITEM,
     "Wrong firmware is loaded.\nPlease contact Velmora Customer Care for support (error 101)"},
    {IDS_INIT_IN_PROGRESS_SEARCH, "Initialization is in progress                           "},
    {IDS_SAME_VERSION_QUESTION,
     "The same version is already on the KVX-01.\nDo you want to upgrade it again?"},
    {IDS_STARTUP_WARNING,
     "Make sure that Velmora KVX-01 is connected to PC correctly before the upgrade process."},
    {IDS_NOT_CONNECTED, "KVX is not connected.\r\nPlease connect the device and try again."},
    {IDS_SELECT_FILE, "Please select the upgrade File"},
    {IDS_INCOMPATIBLE_BINARY,
     "This is incompatible Binary version for Velmora KVX-01.\r\n[You can only use this upgrade "
     "tool with KVX-01 version !!]"},
}};

}  // namespace

std::optional<std::string_view> LoadString(int id) {
  for (const auto& [key, text] : kStrings) {
    if (key == id) return text;
  }
  return std::nullopt;
}

}  // namespace kvx
