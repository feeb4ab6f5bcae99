#include "cli/operator_text.h"

#include "platform/string_table.h"

namespace kvx {
namespace {

constexpr std::string_view kNoPortAvailable =
    "None of serial ports is availabe now.\nPlease check the connection and try it again!";
constexpr std::string_view kNoPortDetected =
    "Serial port is not detected.\nPlease make sure the device is connected correctly!";
constexpr std::string_view kPortOccupiedHead = " is being occupied by one other application ";
constexpr std::string_view kPortOccupiedTail = "\nat this moment. Please try it later!";

}  // namespace

std::string MessageBoxText(int string_id) {
  if (const auto text = LoadString(string_id)) return std::string(*text);
  return std::string(LoadString(IDS_UNKNOWN_ERROR).value_or("Unknown error occurred"));
}

std::optional<std::string> StatusText(int string_id) {
  const auto text = LoadString(string_id);
  if (!text) return std::nullopt;
  std::string_view trimmed = *text;
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) {
    trimmed.remove_suffix(1);
  }
  return std::string(trimmed);
}

std::optional<std::string> PortErrorText(std::int32_t code, std::string_view port) {
  if (code > 0) return std::nullopt;
  if (code == 0) return std::string(kNoPortAvailable);
  if (code == -1) return std::string(kNoPortDetected);
  std::string text(port);
  text += kPortOccupiedHead;
  text += kPortOccupiedTail;
  return text;
}

std::string MessageLines(std::string_view text) {
  std::string body;
  body.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    body += text[i];
  }
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  std::string line(kMessagePrefix);
  line += body;
  line += '\n';
  return line;
}

}  // namespace kvx
