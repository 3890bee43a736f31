#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/FolderEnumeration.h"

namespace platform {
namespace {

// One "character" per UTF-8 sequence, so "?" takes a whole "é"; a stray byte stands alone.
std::vector<std::uint32_t> Characters(std::string_view text) {
    std::vector<std::uint32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80    ? 1
                             : lead >= 0xF0 ? 4
                             : lead >= 0xE0 ? 3
                             : lead >= 0xC0 ? 2
                                            : 1;
        std::size_t got = 1;
        while (got < length && i + got < text.size() &&
               (static_cast<unsigned char>(text[i + got]) & 0xC0) == 0x80)
            ++got;
        if (got != length) length = 1;
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < length; ++k)
            value = (value << 8) | static_cast<unsigned char>(text[i + k]);
        if (value >= 'a' && value <= 'z') value -= 'a' - 'A';
        out.push_back(value);
        i += length;
    }
    return out;
}

bool Matches(const std::vector<std::uint32_t>& name, const std::vector<std::uint32_t>& mask) {
    std::size_t n = 0, m = 0;
    bool starSeen = false;
    std::size_t starMask = 0, starName = 0;  // where to resume when a later part fails
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starSeen = true;
            starMask = ++m;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (starSeen) {
            m = starMask;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
    const auto characters = Characters(name);
    if (Matches(characters, Characters(mask))) return true;
    return mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
           Matches(characters, Characters(mask.substr(0, mask.size() - 2)));
}

}  // namespace platform
