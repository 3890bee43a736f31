#include "core/TextList.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/Errors.h"
#include "platform/Paths.h"

namespace core {

namespace {
unsigned char Fold(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}
bool IsBlank(unsigned char c) {
    return c >= 1 && c <= 32;
}
}  // namespace

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(a[i]), y = Fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareTextIgnoreCase(a, b) == 0;
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
    // A NUL ends the text, as it does for a zero-terminated string.
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> parts;
    std::size_t p = 0;
    const auto at = [&](std::size_t i) -> unsigned char { return i < text.size() ? text[i] : 0; };
    while (IsBlank(at(p))) ++p;
    while (p < text.size()) {
        std::string part;
        if (text[p] == '"') {
            ++p;
            while (p < text.size()) {
                if (text[p] == '"') {
                    if (at(p + 1) == '"') {
                        part += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                part += text[p++];
            }
        } else {
            const std::size_t begin = p;
            while (p < text.size() && at(p) > ' ' && text[p] != ',') ++p;
            part.assign(text.substr(begin, p - begin));
        }
        parts.push_back(std::move(part));
        while (IsBlank(at(p))) ++p;
        if (at(p) == ',') {
            do ++p;
            while (IsBlank(at(p)));
        }
    }
    return parts;
}

std::size_t TStringList::Add(std::string text) {
    if (!sorted_) {
        items_.push_back(std::move(text));
        return items_.size() - 1;
    }
    const auto pos = std::lower_bound(
        items_.begin(), items_.end(), text,
        [](const std::string& a, const std::string& b) { return CompareTextIgnoreCase(a, b) < 0; });
    const auto index = static_cast<std::size_t>(pos - items_.begin());
    if (pos != items_.end() && CompareTextIgnoreCase(*pos, text) == 0) return index;
    items_.insert(pos, std::move(text));
    return index;
}

const std::string& TStringList::Strings(std::size_t index) const {
    if (index >= items_.size())
        throw EListError(Format(kListIndexError, static_cast<long long>(index)));
    return items_[index];
}

long TStringList::IndexOf(std::string_view text) const {
    if (sorted_) {
        const auto pos = std::lower_bound(items_.begin(), items_.end(), text,
                                          [](const std::string& a, std::string_view b) {
                                              return CompareTextIgnoreCase(a, b) < 0;
                                          });
        if (pos != items_.end() && CompareTextIgnoreCase(*pos, text) == 0)
            return static_cast<long>(pos - items_.begin());
        return -1;
    }
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (SameTextIgnoreCase(items_[i], text)) return static_cast<long>(i);
    return -1;
}

void TStringList::SetText(std::string_view text) {
    items_.clear();
    auto lines = SplitLines(text);
    if (!sorted_) {
        items_ = std::move(lines);
        return;
    }
    // Keep the first of lines that differ only in case, then sort once: linear in the
    // number of lines apart from the sort, whatever order the file has.
    std::stable_sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        return CompareTextIgnoreCase(a, b) < 0;
    });
    for (auto& line : lines)
        if (items_.empty() || CompareTextIgnoreCase(items_.back(), line) != 0)
            items_.push_back(std::move(line));
}

void TStringList::LoadFromFile(const std::string& path, std::size_t maxBytes) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(platform::OpenFile(path, "rb"), &std::fclose);
    if (!file) throw EFOpenError(Format(kFileOpenError, path));
    std::string content;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        if (content.size() + got > maxBytes)
            throw Error("File " + path + " is larger than " + std::to_string(maxBytes >> 20) +
                        " MiB and was not loaded");
        content.append(buffer, got);
    }
    if (std::ferror(file.get())) throw EFOpenError(Format(kFileOpenError, path));
    SetText(content);
}

}  // namespace core
