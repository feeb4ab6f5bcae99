#include "platform/port_description.h"

namespace kvx {
namespace {

void Append(std::string& line, std::string_view part, std::string_view separator) {
  if (part.empty()) return;
  if (!line.empty()) line += separator;
  line += part;
}

}  // namespace

std::string FormatPortDescription(const PortDescription& d) {
  std::string head;
  if (!d.vendor_id.empty() || !d.product_id.empty())
    head = "USB " + d.vendor_id + ":" + d.product_id;
  Append(head, d.manufacturer, " ");
  Append(head, d.product, " ");
  std::string line = head;
  if (!d.serial.empty()) Append(line, "serial " + d.serial, ", ");
  if (!d.driver.empty()) Append(line, "driver " + d.driver, ", ");
  Append(line, d.by_id, ", ");
  if (!d.link_target.empty()) Append(line, "link to " + d.link_target, ", ");
  return line;
}

std::string DescribeSystemPort(const std::string& port) {
  return FormatPortDescription(DescribePort(port));
}

}  // namespace kvx
