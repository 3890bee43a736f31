#include "platform/WindowText.h"

namespace platform {
namespace {

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

bool IsLeadByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) == 0xC0u;
}

}  // namespace

bool WindowTextMatches(const char* pattern, std::string_view text) {
    if (pattern == nullptr) return true;
    const std::string_view wanted(pattern);
    if (wanted.size() != text.size()) return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (FoldAscii(wanted[i]) != FoldAscii(text[i])) return false;
    }
    return true;
}

std::string ClipWindowText(std::string text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    // A UTF-8 sequence is at most four bytes: look back at most three for the lead byte of
    // the sequence that would be cut, and drop it whole. Stray continuation bytes are no
    // sequence and are simply cut.
    std::size_t lead = maxBytes;
    while (lead > 0 && maxBytes - lead < 3 && IsContinuationByte(text[lead])) --lead;
    const bool cutsSequence = lead < maxBytes && IsLeadByte(text[lead]);
    text.resize(cutsSequence ? lead : maxBytes);
    return text;
}

}  // namespace platform
