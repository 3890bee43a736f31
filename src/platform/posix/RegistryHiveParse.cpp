// Reading the .reg text form.
#include <charconv>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/posix/RegistryHiveText.h"
#include "platform/posix/RegistryHiveUtf16.h"

namespace platform::posix {

namespace {

struct ParseError {
    std::string what;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool ConsumePrefix(std::string_view& s, std::string_view prefix) {
    if (!s.starts_with(prefix)) return false;
    s.remove_prefix(prefix.size());
    return true;
}

std::uint32_t ParseHexNumber(std::string_view digits, std::size_t maxDigits, const char* what) {
    std::uint32_t number = 0;
    if (digits.empty() || digits.size() > maxDigits) throw ParseError{what};
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
    if (ec != std::errc{} || end != digits.data() + digits.size()) throw ParseError{what};
    return number;
}

// A quoted text with the two escapes the format knows; `rest` starts at the quote and is
// left behind the closing one.
std::string ReadQuoted(std::string_view& rest) {
    std::string out;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c == '"') {
            rest.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (++i == rest.size() || (rest[i] != '\\' && rest[i] != '"'))
                throw ParseError{"unknown escape in quoted text"};
        }
        out += rest[i];
    }
    throw ParseError{"quoted text without its closing quote"};
}

std::vector<std::uint8_t> ReadHexList(std::string_view list) {
    std::vector<std::uint8_t> bytes;
    list = Trim(list);
    while (!list.empty()) {
        const auto comma = list.find(',');
        const auto item = Trim(list.substr(0, comma));
        bytes.push_back(static_cast<std::uint8_t>(ParseHexNumber(item, 2, "bad hex byte")));
        if (comma == std::string_view::npos) break;
        list = Trim(list.substr(comma + 1));  // a trailing comma ends the list
    }
    return bytes;
}

bool IsTextType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == 7;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    HiveModel Run() {
        std::string_view line;
        while (NextLine(line) && Trim(line).empty()) {
        }
        if (at_ > text_.size() && Trim(line).empty()) return std::move(model_);  // blank file
        if (Trim(line) != kHiveHeader) throw ParseError{"not a registry file"};
        while (NextLine(line)) Statement(Trim(line));
        return std::move(model_);
    }

    std::size_t LineNumber() const { return lineNumber_; }

  private:
    bool NextLine(std::string_view& line) {
        if (at_ > text_.size()) return false;
        const auto end = text_.find_first_of("\r\n", at_);
        line =
            text_.substr(at_, end == std::string_view::npos ? std::string_view::npos : end - at_);
        if (end == std::string_view::npos) {
            at_ = text_.size() + 1;
        } else {
            at_ =
                end +
                ((text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') ? 2 : 1);
        }
        ++lineNumber_;
        return true;
    }

    void Statement(std::string_view line) {
        if (line.empty() || line.front() == ';') return;
        if (line.front() == '[') return KeyLine(line);
        if (line.front() == '"' || line.front() == '@') return ValueLine(line);
        throw ParseError{"line is neither a key nor a value"};
    }

    void KeyLine(std::string_view line) {
        if (line.back() != ']' || line.size() < 3) throw ParseError{"key line without ']'"};
        auto path = line.substr(1, line.size() - 2);
        const bool remove = ConsumePrefix(path, "-");
        if (path.empty() || path.size() > kMaxKeyPath || path.front() == '\\' ||
            path.back() == '\\' || path.find("\\\\") != std::string_view::npos ||
            path.find('\0') != std::string_view::npos)
            throw ParseError{"bad key path"};
        if (remove) {
            model_.Remove(path);
            key_ = nullptr;
        } else {
            key_ = &model_.Create(path);
        }
    }

    void ValueLine(std::string_view line) {
        if (key_ == nullptr) throw ParseError{"value outside a key"};
        std::string name;
        if (!ConsumePrefix(line, "@")) name = ReadQuoted(line);
        line = Trim(line);
        if (!ConsumePrefix(line, "=")) throw ParseError{"'=' missing after the value name"};
        line = Trim(line);
        if (line == "-") return key_->Remove(name);
        key_->Set(name, Data(line));
    }

    RegistryValue Data(std::string_view data) {
        if (data.starts_with('"')) {
            std::string text = ReadQuoted(data);
            if (!Trim(data).empty()) throw ParseError{"text after the closing quote"};
            return TextValue(text);
        }
        if (ConsumePrefix(data, "dword:")) {
            const std::uint32_t n = ParseHexNumber(data, 8, "bad dword");
            return {kRegDword,
                    {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                     static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
        }
        std::uint32_t type = kRegBinary;
        if (ConsumePrefix(data, "hex(")) {
            const auto close = data.find("):");
            if (close == std::string_view::npos) throw ParseError{"bad hex type"};
            type = ParseHexNumber(data.substr(0, close), 8, "bad hex type");
            data.remove_prefix(close + 2);
        } else if (!ConsumePrefix(data, "hex:")) {
            throw ParseError{"unknown value data"};
        }
        auto bytes = ReadHexList(Continued(data));
        if (IsTextType(type)) bytes = Utf16LeToUtf8(bytes);
        return {type, std::move(bytes)};
    }

    // Hex data may go on over lines that end in '\'.
    std::string Continued(std::string_view first) {
        std::string joined(Trim(first));
        std::string_view next;
        while (!joined.empty() && joined.back() == '\\') {
            joined.pop_back();
            if (!NextLine(next)) throw ParseError{"continuation at the end of the file"};
            joined += Trim(next);
        }
        return joined;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t lineNumber_ = 0;
    HiveModel model_;
    HiveKey* key_ = nullptr;
};

}  // namespace

ParsedHive ParseHiveText(std::string_view text) {
    std::string widened;
    if (text.starts_with("\xFF\xFE")) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data()) + 2;
        const auto utf8 = Utf16LeToUtf8(std::span(bytes, text.size() - 2));
        widened.assign(utf8.begin(), utf8.end());
        text = widened;
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    Parser parser(text);
    ParsedHive parsed;
    try {
        parsed.model = parser.Run();
        parsed.ok = true;
    } catch (const ParseError& error) {
        parsed.error = "line " + std::to_string(parser.LineNumber()) + ": " + error.what;
    }
    return parsed;
}

}  // namespace platform::posix
