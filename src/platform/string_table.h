// The operator texts, looked up by string id. The engine sends ids; front ends show the texts.
#pragma once

#include <optional>
#include <string_view>

namespace kvx {

inline constexpr int IDS_FILE_OPEN_FAIL = 133;
inline constexpr int IDS_FILE_SIZE_BIG = 134;
inline constexpr int IDS_MEM_ALLOC_FAIL = 135;
inline constexpr int IDS_WRONG_BSP_VER = 137;
inline constexpr int IDS_WRONG_IMAGE = 138;
inline constexpr int IDS_INIT_IN_PROGRESS = 139;
inline constexpr int IDS_UPGRADE_IN_PROGRESS = 140;
inline constexpr int IDS_UPGRADE_COMPLETED = 141;
inline constexpr int IDS_UPGRADE_FAILED = 146;
inline constexpr int IDS_CONNECTION_FAILED = 147;
inline constexpr int IDS_LOWER_VERSION = 151;
inline constexpr int IDS_UNKNOWN_VERSIONS = 152;
inline constexpr int IDS_BINARY_VERSION_UNKNOWN = 153;
inline constexpr int IDS_VERSION_MISMATCH_56 = 156;
inline constexpr int IDS_VERSION_MISMATCH_57 = 157;
inline constexpr int IDS_VERSION_MISMATCH_58 = 158;
inline constexpr int IDS_LOWER_VERSION_60 = 160;
inline constexpr int IDS_VERSION_MISMATCH_62 = 162;
inline constexpr int IDS_VERSION_MISMATCH_63 = 163;
inline constexpr int IDS_VERSION_MISMATCH_64 = 164;
inline constexpr int IDS_UNKNOWN_ERROR = 168;
inline constexpr int IDS_EXIT_QUESTION = 169;
inline constexpr int IDS_HW_UPGRADE_REQUIRED = 171;
inline constexpr int IDS_APP_CAPTION = 177;
inline constexpr int IDS_EXTRACT_FAIL = 200;
inline constexpr int IDS_NOT_KVX_ITEM = 201;
inline constexpr int IDS_INIT_IN_PROGRESS_SEARCH = 203;
inline constexpr int IDS_SAME_VERSION_QUESTION = 204;
inline constexpr int IDS_STARTUP_WARNING = 57350;
inline constexpr int IDS_NOT_CONNECTED = 57358;
inline constexpr int IDS_SELECT_FILE = 57359;
inline constexpr int IDS_INCOMPATIBLE_BINARY = 57361;

// The text of `id`, or nothing for an id the table does not hold.
std::optional<std::string_view> LoadString(int id);

}  // namespace kvx
