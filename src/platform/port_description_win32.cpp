// Windows names a port COMn and tells nothing more through the paths this layer reads; the
// device's USB strings are in the device manager, which the operator knows how to open.
#include "platform/port_description.h"

namespace kvx {

PortDescription DescribePort(std::string_view, const PortDescriptionRoots&) {
  return {};
}

}  // namespace kvx
