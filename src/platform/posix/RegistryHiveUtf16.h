#pragma once
// Text values sit in the hive file as UTF-16LE, as Windows exports them, while the 8-bit
// registry functions hand out UTF-8. Bytes that are not UTF-8 travel as the lone
// surrogates U+DC80..U+DCFF, so any byte string survives the trip both ways.
#include <cstdint>
#include <span>
#include <vector>

namespace platform::posix {

std::vector<std::uint8_t> Utf8ToUtf16Le(std::span<const std::uint8_t> utf8);
// Other lone surrogates become U+FFFD; an odd last byte is dropped.
std::vector<std::uint8_t> Utf16LeToUtf8(std::span<const std::uint8_t> utf16);
bool IsValidUtf8(std::span<const std::uint8_t> bytes);

}  // namespace platform::posix
