#pragma once
// Small text helpers shared by the units.
#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// Every occurrence of oldText, left to right, case-sensitive; inserted text is never searched
// again, and an empty oldText is never found.
std::string ReplaceAll(std::string_view text, std::string_view oldText, std::string_view newText);

// A whole decimal integer with an optional leading sign that fits in 32 bits, else
// defaultValue. Blanks, hexadecimal forms and any other character make it fail.
std::int32_t StrToIntDef(std::string_view text, std::int32_t defaultValue);

// A fixed relative path written with backslashes ("\bin\server"), in the platform's form.
std::string NativePath(std::string_view windowsPath);
