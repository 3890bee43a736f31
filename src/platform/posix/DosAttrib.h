#pragma once
// The "user.DOSATTRIB" extended attribute through which Samba and Wine keep Windows
// attributes on POSIX file systems.
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

inline constexpr const char* kDosAttribName = "user.DOSATTRIB";

// The attribute bits the value carries, or nothing when it carries none we can trust:
// the text form "0x20" (optionally NUL-terminated, and so also the text that starts
// Samba's newer blobs), or the bare binary form (version, level, then either the bits or
// valid-flags and the bits, which count only when valid-flags bit 0 is set).
std::optional<std::uint32_t> ParseDosAttrib(std::string_view data);

}  // namespace platform
