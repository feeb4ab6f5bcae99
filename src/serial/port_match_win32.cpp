// On Windows a port has one name, COMn, in any case the operator types it.
#include "serial/port_match.h"

#include <algorithm>

namespace kvx {
namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

std::optional<std::size_t> FindListedPort(std::string_view name,
                                          const std::vector<std::string>& listed) {
  const auto same = std::find(listed.begin(), listed.end(), name);
  if (same != listed.end()) return static_cast<std::size_t>(same - listed.begin());
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (SameIgnoringCase(listed[i], name)) return i;
  }
  return std::nullopt;
}

}  // namespace kvx
