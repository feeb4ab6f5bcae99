#include "cli/port_option_text.h"

namespace kvx {

const std::string_view kPortOptionText =
    "  --port PORT      a terminal's serial port, such as COM3; it must be one of the\n"
    "                   system's serial ports; give it again for more ports side by side\n";

}  // namespace kvx
