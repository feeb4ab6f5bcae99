// UTF-8, the program's text, to and from UTF-16, the text of Windows' wide system calls.
// Windows only (wide_text_win32.cpp).
//
// Ill-formed input never fails: each bad UTF-8 sequence or lone surrogate becomes U+FFFD, so a
// path or registry value always converts to something the caller can report.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

}  // namespace kvx
