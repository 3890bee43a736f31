#pragma once
// The one crossing between the program's UTF-8 and the UTF-16 of the wide Windows functions.
// Invalid UTF-8 (or unpaired UTF-16) becomes U+FFFD rather than failing the whole text.
#include <string>
#include <string_view>

namespace platform::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace platform::win32
