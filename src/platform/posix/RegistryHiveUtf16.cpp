#include "platform/posix/RegistryHiveUtf16.h"

#include <cstddef>

namespace platform::posix {

namespace {

constexpr std::uint32_t kInvalid = 0xFFFFFFFF;

// Decodes one strict UTF-8 sequence at `at`; kInvalid when it is not one.
std::uint32_t DecodeAt(std::span<const std::uint8_t> s, std::size_t at, std::size_t& length) {
    const std::uint8_t lead = s[at];
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return kInvalid;
    }
    if (at + length > s.size()) return kInvalid;
    for (std::size_t i = 1; i < length; ++i) {
        if ((s[at + i] & 0xC0) != 0x80) return kInvalid;
        cp = (cp << 6) | (s[at + i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kInvalid;
    return cp;
}

void PutUnit(std::vector<std::uint8_t>& out, std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

void PutUtf8(std::vector<std::uint8_t>& out, std::uint32_t cp) {
    const auto put = [&](std::uint32_t b) { out.push_back(static_cast<std::uint8_t>(b)); };
    if (cp < 0x80) {
        put(cp);
    } else if (cp < 0x800) {
        put(0xC0 | (cp >> 6)), put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        put(0xE0 | (cp >> 12)), put(0x80 | ((cp >> 6) & 0x3F)), put(0x80 | (cp & 0x3F));
    } else {
        put(0xF0 | (cp >> 18)), put(0x80 | ((cp >> 12) & 0x3F));
        put(0x80 | ((cp >> 6) & 0x3F)), put(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::vector<std::uint8_t> Utf8ToUtf16Le(std::span<const std::uint8_t> utf8) {
    std::vector<std::uint8_t> out;
    out.reserve(utf8.size() * 2);
    for (std::size_t at = 0; at < utf8.size();) {
        std::size_t length = 1;
        const std::uint32_t cp = DecodeAt(utf8, at, length);
        if (cp == kInvalid) {
            PutUnit(out, 0xDC00 + utf8[at]);
            ++at;
            continue;
        }
        if (cp >= 0x10000) {
            PutUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
            PutUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            PutUnit(out, cp);
        }
        at += length;
    }
    return out;
}

std::vector<std::uint8_t> Utf16LeToUtf8(std::span<const std::uint8_t> utf16) {
    std::vector<std::uint8_t> out;
    out.reserve(utf16.size());
    const std::size_t units = utf16.size() / 2;
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        return utf16[2 * i] | (static_cast<std::uint32_t>(utf16[2 * i + 1]) << 8);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<std::uint8_t>(u - 0xDC00));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            PutUtf8(out, 0xFFFD);
        } else {
            PutUtf8(out, u);
        }
    }
    return out;
}

bool IsValidUtf8(std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t length = 1;
        if (DecodeAt(bytes, at, length) == kInvalid) return false;
        at += length;
    }
    return true;
}

}  // namespace platform::posix
