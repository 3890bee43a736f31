#pragma once
// The .reg text form of a hive: "Windows Registry Editor Version 5.00", [key] sections,
// "name"=data lines. Parsing is strict: anything not understood makes the whole text
// unreadable, so a damaged file is never half-read and then written back half-empty.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/posix/RegistryHiveModel.h"

namespace platform::posix {

inline constexpr std::string_view kHiveHeader = "Windows Registry Editor Version 5.00";
// Beyond Windows' own limits; a longer key path means the file is not a hive of ours.
inline constexpr std::size_t kMaxKeyPath = 16 * 1024;

struct ParsedHive {
    bool ok = false;
    HiveModel model;
    std::string error;  // "line N: what", when not ok
};

// Accepts a UTF-8 BOM, a UTF-16LE file with its BOM, CR LF / LF / CR line ends, ';'
// comments, blank lines, '\' continuations of hex data, "name"=- and [-key] deletions.
ParsedHive ParseHiveText(std::string_view text);
std::string FormatHiveText(const HiveModel& model);

}  // namespace platform::posix
