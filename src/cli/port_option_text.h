// The help text of --port, which names ports as the system does.
#pragma once

#include <string_view>

namespace kvx {

extern const std::string_view kPortOptionText;

}  // namespace kvx
