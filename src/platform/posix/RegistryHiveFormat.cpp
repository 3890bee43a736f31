// Writing the .reg text form. Every value comes back from ParseHiveText exactly as it
// went in: text that the quoted form cannot hold is written as hex(1).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>

#include "platform/posix/RegistryHiveText.h"
#include "platform/posix/RegistryHiveUtf16.h"

namespace platform::posix {

namespace {

constexpr std::size_t kHexLineWidth = 76;  // where regedit wraps hex data

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

bool FitsQuotedForm(const std::vector<std::uint8_t>& data) {
    if (data.empty() || data.back() != 0) return false;
    const std::span text(data.data(), data.size() - 1);
    return std::none_of(text.begin(), text.end(),
                        [](std::uint8_t c) { return c == 0 || c == '\r' || c == '\n'; }) &&
           IsValidUtf8(text);
}

void AppendHexData(std::string& out, std::size_t lineStart, std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
        if (i + 1 == bytes.size()) break;
        out += ',';
        if (out.size() - lineStart >= kHexLineWidth) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
    }
}

void AppendData(std::string& out, std::size_t lineStart, const RegistryValue& value) {
    const auto& data = value.data;
    if (value.type == kRegSz && FitsQuotedForm(data)) {
        AppendQuoted(out,
                     std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
        return;
    }
    if (value.type == kRegDword && data.size() == 4) {
        static constexpr char kDigits[] = "0123456789abcdef";
        out += "dword:";
        for (int i = 3; i >= 0; --i) {
            out += kDigits[data[i] >> 4];
            out += kDigits[data[i] & 0x0F];
        }
        return;
    }
    if (value.type == kRegBinary) {
        out += "hex:";
        return AppendHexData(out, lineStart, data);
    }
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    out += type;
    const bool text = value.type == kRegSz || value.type == kRegExpandSz || value.type == 7;
    AppendHexData(out, lineStart, text ? Utf8ToUtf16Le(data) : data);
}

}  // namespace

std::string FormatHiveText(const HiveModel& model) {
    std::string out(kHiveHeader);
    out += "\n\n";
    for (const HiveKey* key : model.Keys()) {
        out += '[';
        out += key->Path();
        out += "]\n";
        for (const auto& [name, value] : key->Values()) {
            const std::size_t lineStart = out.size();
            if (name->empty())
                out += '@';
            else
                AppendQuoted(out, *name);
            out += '=';
            AppendData(out, lineStart, *value);
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

}  // namespace platform::posix
