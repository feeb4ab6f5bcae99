#include "sim/log_format.h"

namespace kvx::sim {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string QuoteBytes(std::string_view bytes) {
  std::string quoted;
  quoted.reserve(bytes.size() + 2);
  quoted += '"';
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\r':
        quoted += "\\r";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\t':
        quoted += "\\t";
        break;
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      default:
        if (byte >= 0x20 && byte < 0x7F) {
          quoted += c;
        } else {
          quoted += "\\x";
          quoted += kHex[byte >> 4];
          quoted += kHex[byte & 0x0F];
        }
    }
  }
  quoted += '"';
  return quoted;
}

bool UnquoteBytes(std::string_view quoted, std::string* bytes) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return false;
  quoted = quoted.substr(1, quoted.size() - 2);
  bytes->clear();
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] != '\\') {
      if (quoted[i] == '"') return false;
      *bytes += quoted[i];
      continue;
    }
    if (++i == quoted.size()) return false;
    switch (quoted[i]) {
      case 'r':
        *bytes += '\r';
        break;
      case 'n':
        *bytes += '\n';
        break;
      case 't':
        *bytes += '\t';
        break;
      case '"':
        *bytes += '"';
        break;
      case '\\':
        *bytes += '\\';
        break;
      case 'x': {
        if (i + 2 >= quoted.size()) return false;
        const int high = HexValue(quoted[i + 1]);
        const int low = HexValue(quoted[i + 2]);
        if (high < 0 || low < 0) return false;
        *bytes += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

}  // namespace kvx::sim
