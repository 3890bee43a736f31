#include "platform/posix/DosAttrib.h"

namespace platform {
namespace {

std::uint32_t Le16(std::string_view d, std::size_t at) {
    return static_cast<unsigned char>(d[at]) | static_cast<unsigned char>(d[at + 1]) << 8;
}

std::uint32_t Le32(std::string_view d, std::size_t at) {
    return Le16(d, at) | Le16(d, at + 2) << 16;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::uint32_t> ParseText(std::string_view data) {
    const auto end = data.find('\0', 2);
    data = data.substr(2, end == std::string_view::npos ? end : end - 2);
    if (data.empty() || data.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : data) {
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<std::uint32_t> ParseBinary(std::string_view data) {
    if (data.size() < 8) return std::nullopt;
    const std::uint32_t version = Le16(data, 0);
    if (Le16(data, 2) != version) return std::nullopt;  // the union's level repeats it
    if (version == 1 || version == 0xFFFF) return Le32(data, 4);
    if (version >= 3 && version <= 5 && data.size() >= 12 && (Le32(data, 4) & 1) != 0)
        return Le32(data, 8);
    return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> ParseDosAttrib(std::string_view data) {
    if (data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X'))
        return ParseText(data);
    return ParseBinary(data);
}

}  // namespace platform
