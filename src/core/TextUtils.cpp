#include "core/TextUtils.h"

#include <algorithm>
#include <charconv>

std::string ReplaceAll(std::string_view text, std::string_view oldText, std::string_view newText) {
    if (oldText.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(oldText); at != std::string_view::npos;
         at = text.find(oldText, from)) {
        out.append(text.substr(from, at - from)).append(newText);
        from = at + oldText.size();
    }
    out.append(text.substr(from));
    return out;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t defaultValue) {
    // from_chars takes no "+", so strip one; a second sign after it must still fail.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return defaultValue;
    }
    std::int32_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    if (error != std::errc() || stop != end) return defaultValue;
    return value;
}

std::string NativePath(std::string_view windowsPath) {
    std::string path(windowsPath);
    std::replace(path.begin(), path.end(), '\\', PathDelim);
    return path;
}
