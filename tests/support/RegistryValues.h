#pragma once
// Registry values as tests write them into a hive.
#include <cstdint>
#include <string_view>

#include "platform/Registry.h"

namespace testsupport {

inline platform::RegistryValue Value(std::uint32_t type, std::string_view bytes) {
    return {type, {bytes.begin(), bytes.end()}};
}

// Text with its terminating zero, as the 8-bit registry functions store it.
inline platform::RegistryValue Text(std::uint32_t type, std::string_view text) {
    auto value = Value(type, text);
    value.data.push_back(0);
    return value;
}

inline platform::RegistryValue Dword(std::uint32_t n) {
    return {platform::kRegDword,
            {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
             static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
}

}  // namespace testsupport
