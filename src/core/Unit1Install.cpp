#include "core/Unit1Install.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "core/TextUtils.h"
#include "core/Unit1Inventory.h"

namespace {

constexpr std::array<std::pair<std::string_view, ComponentMarker>, 7> kMarkers = {{
    {"php_editor_php5.exe", ComponentMarker::EditorSetup},
    {"websrv.exe", ComponentMarker::ServerSetup},
    {"setup_php-", ComponentMarker::PhpSetup},
    {"DbgListener.exe", ComponentMarker::DebuggerListener},
    {"php_dbg.dll-", ComponentMarker::DebuggerLibrary},
    {"mod_", ComponentMarker::ServerModule},
    {".exe", ComponentMarker::ServerUtility},
}};

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// Control bytes would break the notice's lines; they are shown as "?".
std::string Printable(std::string_view name) {
    std::string shown(name);
    for (char& c : shown)
        if (IsControl(c)) c = '?';
    return shown;
}

bool NeedsEditor(ComponentMarker marker) {
    return marker == ComponentMarker::DebuggerListener ||
           marker == ComponentMarker::DebuggerLibrary;
}

}  // namespace

ComponentMarker FindComponentMarker(std::string_view destination) {
    for (const auto& [text, marker] : kMarkers)
        if (destination.find(text) != std::string_view::npos) return marker;
    return ComponentMarker::None;
}

bool IsSetupMarker(ComponentMarker marker) {
    return marker == ComponentMarker::EditorSetup || marker == ComponentMarker::ServerSetup ||
           marker == ComponentMarker::PhpSetup;
}

bool IsMovedMarker(ComponentMarker marker) {
    return marker != ComponentMarker::None && !IsSetupMarker(marker);
}

RunningGuard GuardFor(ComponentMarker marker) {
    switch (marker) {
        case ComponentMarker::EditorSetup:
            return RunningGuard::Editor;
        case ComponentMarker::ServerSetup:
            return RunningGuard::Server;
        case ComponentMarker::DebuggerListener:
            return RunningGuard::EditorListener;
        default:
            return RunningGuard::None;
    }
}

std::string RunningNotice(RunningGuard guard) {
    switch (guard) {
        case RunningGuard::Editor:
            return "Option you requested can't be processed while Corvalite Editor for PHP is "
                   "currently running. Please exit application and try again";
        case RunningGuard::Server:
            return "Option you requested can't be processed while Corvalite Webserver is "
                   "currently running. Please shutdown server and try again";
        case RunningGuard::EditorListener:
            return "Option you requested can't be processed while Corvalite Editor for PHP is "
                   "currently running and debuger listener is in use. Please exit application "
                   "and try again";
        case RunningGuard::None:
            break;
    }
    return {};
}

std::string DownloadFileName(std::string_view url) {
    // The query and the fragment say what to send, not what the file is called; a "/" in
    // them must not pick the name either.
    url = url.substr(0, std::min(url.find('?'), url.find('#')));
    const auto slash = url.rfind('/');
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

std::string JoinDownloadPath(std::string_view folder, std::string_view name, char delimiter) {
    if (delimiter == '\\') {
        // "\\server\share" must keep its pair; collapsing the whole path would break it.
        const bool delimited = !folder.empty() && folder.back() == '\\';
        return std::string(folder) + (delimited ? "" : "\\") + std::string(name);
    }
    const std::string single(1, delimiter);
    return ReplaceAll(std::string(folder) + single + std::string(name), single + single, single);
}

std::string DownloadDestination(std::string_view folder, std::string_view name) {
    return JoinDownloadPath(folder, name, PathDelim);
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any extension too
// and with blanks before it.
static bool IsDeviceName(std::string_view name) {
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

bool IsSafeDownloadName(std::string_view name) {
    if (name.empty() || name == "." || name.find("..") != std::string_view::npos) return false;
    // The same rules on every system: the folder may be shared with Windows, where a name
    // ending in a dot or a blank silently loses it and these characters are not allowed.
    if (name.back() == '.' || name.back() == ' ' || IsDeviceName(name)) return false;
    for (const char c : name)
        if (std::string_view("/\\:?*|<>\"").find(c) != std::string_view::npos || IsControl(c))
            return false;
    return true;
}

std::string UnsafeNameNotice(std::string_view name) {
    return "The file name \"" + Printable(name) +
           "\" of the selected component cannot be used in the download folder. Nothing was "
           "downloaded.";
}

std::string InstallFolder(ComponentMarker marker, std::string_view editorPath,
                          std::string_view serverPath) {
    const bool found = !(NeedsEditor(marker) ? editorPath : serverPath).empty();
    if (!found) return {};
    switch (marker) {
        case ComponentMarker::DebuggerListener:
            return EditorFolder(editorPath);
        case ComponentMarker::DebuggerLibrary:
            return DebuggerLibraryFolder(editorPath);
        case ComponentMarker::ServerModule:
            return ModulesFolder(serverPath);
        case ComponentMarker::ServerUtility:
            return UtilitiesFolder(serverPath);
        default:
            return {};
    }
}

std::string ProductMissingNotice(ComponentMarker marker, std::string_view fileName) {
    const char* product = NeedsEditor(marker) ? "Corvalite Editor for PHP" : "Corvalite Web Server";
    // Appended piece by piece: GCC 12 at -O3 misreads a chain of temporaries as overlapping.
    std::string notice = "\"";
    notice += Printable(fileName);
    notice += "\" cannot be installed because ";
    notice += product;
    notice += " was not found at the last update. The file stays in the download folder.";
    return notice;
}
