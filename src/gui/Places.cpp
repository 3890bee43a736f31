#include "gui/Places.h"

#include <QDir>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

#include "core/TextUtils.h"
#include "platform/FolderAccess.h"
#include "platform/Paths.h"

namespace {

// The system's folder as Windows shows it (backslashes there), in UTF-8.
std::string Native(const QString& folder) {
    return QDir::toNativeSeparators(folder).toStdString();
}

std::string UserCacheFolder() {
#ifdef _WIN32
    // %LOCALAPPDATA%, the machine's own per-user folder that is not roamed.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return Native(base) + "\\Zelmarock\\Update\\";
#else
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return Native(base) + "/corvalite-update/";
#endif
}

// The user's download folder as the desktop names it (XDG user dirs, the shell's Downloads).
std::string UserDownloadFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return Native(base) + PathDelim + "Corvalite";
}

}  // namespace

Places ChoosePlaces(const std::string& programFolder) {
    if (platform::CanWriteFolder(programFolder)) return {programFolder, programFolder + "download"};
    Places places{UserCacheFolder(), UserDownloadFolder()};
    std::error_code ignored;  // a cache that cannot be made fails the fetch with its own message
    std::filesystem::create_directories(platform::PathFromUtf8(places.listFolder), ignored);
    return places;
}

std::string ReplacedFilesFolder() {
    // %LOCALAPPDATA% on Windows, $XDG_DATA_HOME (~/.local/share) elsewhere.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#ifdef _WIN32
    return Native(base) + "\\Zelmarock\\Update\\replaced\\";
#else
    return Native(base) + "/corvalite-update/replaced/";
#endif
}

std::string EffectiveDownloadFolder(const std::string& chosen, const Places& places) {
    if (!chosen.empty()) return chosen;
    std::error_code ignored;  // a folder that cannot be made fails the download, which says so
    std::filesystem::create_directories(platform::PathFromUtf8(places.defaultDownloadFolder),
                                        ignored);
    return places.defaultDownloadFolder;
}
