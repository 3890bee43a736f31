#pragma once
// Registry values as tests write them into a hive.
#include <cstdint>
#include <string_view>

#include "platform/Registry.h"

namespace testsupport {

inline platform::RegistryValue Value(std::uint32_t type, std::string_view bytes) {
    return {type, {bytes.begin(), bytes.end()}};
}

// Text with its terminating zero, as the registry stores it.
inline platform::RegistryValue Text(std::uint32_t type, std::string_view text) {
    return platform::TextValue(text, type);
}

inline platform::RegistryValue Dword(std::uint32_t n) {
    return platform::DwordValue(n);
}

}  // namespace testsupport
