#include "core/Unit1Inventory.h"

#include <array>
#include <cstdint>
#include <filesystem>

#include "core/TRegistry.h"
#include "core/TextUtils.h"
#include "core/verinfo.h"
#include "platform/FolderEnumeration.h"
#include "platform/Paths.h"

namespace {

bool IsDelimiter(char c) {
#ifdef _WIN32
    return c == PathDelim || c == ':';
#else
    return c == PathDelim;
#endif
}

std::size_t LastDelimiter(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsDelimiter(path[i - 1])) return i - 1;
    return std::string_view::npos;
}

using VersionNumbers = std::array<std::int32_t, 4>;

VersionNumbers ParseVersion(std::string_view text) {
    const auto parts = core::SplitCommaText(ReplaceAll(text, ".", ","));
    VersionNumbers numbers{};
    if (parts.size() >= numbers.size())
        for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = StrToIntDef(parts[i], 0);
    return numbers;
}

bool StartsWithDot(const std::string& name) {
    return !name.empty() && name.front() == '.';
}

}  // namespace

std::string GetEditorPath(platform::RegistryHive& hive) {
    core::TRegistry registry(hive);  // closes the key on every way out
    std::string path;
    if (registry.OpenKey("\\Software\\Zelmarock\\modules", false) && registry.ValueExists("PHP"))
        path = registry.ReadString("PHP");
    if (!path.empty() && !FileExists(path)) path.clear();
    return path;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(platform::PathFromUtf8(path), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

std::string ExtractFileDir(std::string_view path) {
    const std::size_t last = LastDelimiter(path);
    if (last == std::string_view::npos) return {};
    // A delimiter right after another one (a root such as "C:\" or "/") stays.
    const bool keep = last == 0 || path[last] != PathDelim || IsDelimiter(path[last - 1]);
    return std::string(path.substr(0, keep ? last + 1 : last));
}

std::string ExtractFilePath(std::string_view path) {
    const std::size_t last = LastDelimiter(path);
    return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

std::string EditorFolder(std::string_view editorPath) {
    return ExtractFileDir(editorPath);
}

std::string DebuggerListenerPath(std::string_view editorPath) {
    return ExtractFilePath(editorPath) + "DbgListener.exe";
}

std::string PhpFolder(std::string_view editorPath) {
    return EditorFolder(editorPath) + NativePath("\\php");
}

std::string DebuggerLibraryFolder(std::string_view editorPath) {
    return EditorFolder(editorPath) + NativePath("\\bin\\server");
}

std::string ServerFolder(std::string_view serverPath) {
    return ExtractFileDir(serverPath);
}

std::string ModulesFolder(std::string_view serverPath) {
    return ServerFolder(serverPath) + NativePath("\\modules");
}

std::string UtilitiesFolder(std::string_view serverPath) {
    return ServerFolder(serverPath) + NativePath("\\modules\\utils");
}

std::string DebuggerLibraryMask() {
    return NativePath("\\php_dbg.*");
}
std::string ModulesMask() {
    return NativePath("\\*.dll");
}
std::string UtilitiesMask() {
    return NativePath("\\*.exe");
}

void ListSubfolders(const std::string& folder, core::TStringList& list) {
    list.Clear();
    const auto entries =
        platform::FindEntries(folder + PathDelim + "*", platform::FindFilter::kDirectories);
    for (const auto& entry : entries) {
        // Exactly "directory" or nothing: a read-only or archived folder is passed over.
        const bool plain =
            entry.attributes == platform::kFileAttributeDirectory || entry.attributes == 0;
        if (plain && !StartsWithDot(entry.name)) list.Add(entry.name);
    }
}

void ListFiles(const std::string& folder, const std::string& mask, core::TStringList& list) {
    list.Clear();
    constexpr std::uint32_t kKnownAttributes = 0x3F;
    const auto entries = platform::FindEntries(folder + mask, platform::FindFilter::kEverything);
    for (const auto& entry : entries)
        if ((entry.attributes & ~kKnownAttributes) == 0 && !StartsWithDot(entry.name))
            list.Add(entry.name);
}

bool IsNewerVersion(std::string_view localText, std::string_view remoteText) {
    // Ordered, not pair by pair: an installed 2.0 is not older than an offered 1.5.
    return ParseVersion(localText) < ParseVersion(remoteText);
}

bool IsListenerCurrent(const TrsFileVersion& listener) {
    // Ordered as well, so that 3.0 counts as current.
    return std::array{listener.Major, listener.Minor} >= std::array{2, 13};
}

std::string LocalComparisonText(const TrsFileVersion& reader) {
    return reader.VersionText + "." + std::to_string(reader.Build);
}
