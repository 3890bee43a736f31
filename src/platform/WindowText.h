#pragma once
// How window lookups compare and clip texts, shared by every desktop implementation so a
// fake desktop in the tests matches exactly like the real one.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Whole-text comparison ignoring letter case; a null pattern matches any text.
// Only ASCII letters are folded: that is all the probed window names need, and it never
// mangles the bytes of a UTF-8 sequence.
bool WindowTextMatches(const char* pattern, std::string_view text);

// The text cut to at most maxBytes bytes, never in the middle of a UTF-8 sequence.
std::string ClipWindowText(std::string text, std::size_t maxBytes);

}  // namespace platform
