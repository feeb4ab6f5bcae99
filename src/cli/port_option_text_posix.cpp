#include "cli/port_option_text.h"

namespace kvx {

const std::string_view kPortOptionText =
    "  --port PORT      a terminal's serial port: a name such as ttyUSB0 or a path; it must\n"
    "                   be one of the system's serial ports (a pseudo-terminal must be named\n"
    "                   in KVX_SERIAL_PORTS); give it again for more ports side by side\n";

}  // namespace kvx
