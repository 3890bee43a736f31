// The text forms of pinned key hashes, shared by both backends and by the build-time list.
#include "platform/MachineTrust.h"

namespace platform {
namespace {

constexpr std::size_t kHashDigits = 64;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsListSeparator(char c) {
    return IsBlank(c) || c == ';' || c == '\0';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::string> NormalisedKeyHash(std::string_view text) {
    if (text.size() != kHashDigits) return std::nullopt;
    std::string hash;
    hash.reserve(kHashDigits);
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            hash.push_back(c);
        else if (c >= 'a' && c <= 'f')
            hash.push_back(c);
        else if (c >= 'A' && c <= 'F')
            hash.push_back(static_cast<char>(c - 'A' + 'a'));
        else
            return std::nullopt;
    }
    return hash;
}

std::vector<std::string> KeyHashesFromLines(std::string_view text) {
    std::vector<std::string> hashes;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = Trimmed(line.substr(0, line.find('#')));
        if (auto hash = NormalisedKeyHash(line)) hashes.push_back(std::move(*hash));
    }
    return hashes;
}

std::vector<std::string> KeyHashesFromList(std::string_view text) {
    std::vector<std::string> hashes;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsListSeparator(text[at])) ++at;
        std::size_t end = at;
        while (end < text.size() && !IsListSeparator(text[end])) ++end;
        if (end > at)
            if (auto hash = NormalisedKeyHash(text.substr(at, end - at)))
                hashes.push_back(std::move(*hash));
        at = end;
    }
    return hashes;
}

}  // namespace platform
