// The text forms of kvx-sim's log: received bytes as quoted C-escaped strings, so a test can
// compare the host's commands byte for byte with a line of text.
//
// Pure functions; safe to call from any thread.
#pragma once

#include <string>
#include <string_view>

namespace kvx::sim {

// `bytes` in double quotes: printable ASCII as is, except '"' and '\\', which get a backslash;
// \r, \n and \t; every other byte as \xHH with exactly two upper-case hex digits.
std::string QuoteBytes(std::string_view bytes);

// Reverses QuoteBytes (for tests and tools reading the log). False when `quoted` is not a
// string QuoteBytes could have made.
bool UnquoteBytes(std::string_view quoted, std::string* bytes);

}  // namespace kvx::sim
