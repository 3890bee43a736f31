#pragma once
// The publishers an administrator trusts on this machine: SHA-256 hashes of their signing
// keys' SubjectPublicKeyInfo, from a place only an administrator can write. On Windows the
// policy value HKLM\SOFTWARE\Policies\Zelmarock\Update\TrustedPublishers (REG_MULTI_SZ, or
// REG_SZ with the hashes separated by blanks or semicolons); elsewhere the file
// corvalite-update/trusted-publishers in each folder of $XDG_CONFIG_DIRS (/etc/xdg when unset),
// one hash a line, "#" starting a comment. A list the current user could change adds nothing.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Every well-formed hash of the machine's lists, lower case, in the order found; malformed
// entries and lists the user could write are left out.
std::vector<std::string> MachineTrustedPublisherKeys();

// 64 hex digits of either case as 64 lower-case ones; nothing for anything else.
std::optional<std::string> NormalisedKeyHash(std::string_view text);

// The hashes of a list file: one a line, "#" to the end of the line a comment, blanks around
// ignored; a line that is not exactly one hash is skipped.
std::vector<std::string> KeyHashesFromLines(std::string_view text);

// The hashes of a text separated by blanks, semicolons or NULs (a registry value, a build
// setting); a token that is not a hash is skipped.
std::vector<std::string> KeyHashesFromList(std::string_view text);

}  // namespace platform
