#include "demo/SampleData.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/Registry.h"

namespace demo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUpdateKey = "\\Software\\Zelmarock\\Update";
constexpr const char* kModulesKey = "\\Software\\Zelmarock\\modules";
constexpr const char* kShellFoldersKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string VersionText(const PeVersion& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.release) + "." + std::to_string(v.build);
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WritePe(const fs::path& path, const PeVersion& version) {
    fs::create_directories(path.parent_path());
    WritePeFile(path.string(), PeOptions{.fileVersion = version, .productVersion = version});
}

// A catalogue answer the way the vendor's scripts send it: one entry a line, CR LF.
std::string ListAnswer(const std::vector<SampleEntry>& entries) {
    std::string text;
    for (const auto& entry : entries) text += entry.name + "\r\n";
    return text;
}

// "php_dbg.dll-5.2.17" -> "5.2.17": the PHP version the library serves.
std::string AfterFirstDash(const std::string& name) {
    const auto dash = name.find('-');
    return dash == std::string::npos ? name : name.substr(dash + 1);
}

// Versions the setups carry: the PHP version they install.
PeVersion SetupVersion(const std::string& entry) {
    PeVersion v;
    const std::string text = AfterFirstDash(entry);
    unsigned parts[3] = {0, 0, 0};
    std::size_t at = 0;
    for (unsigned& part : parts) {
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
            part = part * 10 + static_cast<unsigned>(text[at++] - '0');
        if (at < text.size() && text[at] == '.') ++at;
    }
    v.major = static_cast<std::uint16_t>(parts[0]);
    v.minor = static_cast<std::uint16_t>(parts[1]);
    v.release = static_cast<std::uint16_t>(parts[2]);
    return v;
}

// A debugger library is a Windows library like any other, so that it can be signed; the tree
// reads its version from its name, the record carries the same one.
void WriteLibrary(const fs::path& path) {
    WritePe(path, SetupVersion(path.filename().string()));
}

void Put(platform::RegistryHive& hive, const char* key, const char* name,
         const platform::RegistryValue& value) {
    if (!hive.CreateKey(key) || !hive.WriteValue(key, name, value))
        throw std::runtime_error(std::string("cannot write the hive value ") + key + "\\" + name);
}

}  // namespace

const SampleCatalogue& Catalogue() {
    static const SampleCatalogue catalogue{
        .editor = {3, 4, 1, 812},
        .server = {2, 2, 9, 140},
        .listener = {2, 13, 4, 0},
        .php = {{"setup_php-4.4.9.exe", true},
                {"setup_php-5.2.17.exe", true},
                {"setup_php-5.3.29.exe", false}},
        .debugger = {{"php_dbg.dll-4.4.9", true},
                     {"php_dbg.dll-5.2.17", true},
                     {"php_dbg.dll-5.3.29", false}},
        .modules = {{"mod_deflate.dll", false},
                    {"mod_headers.dll", false},
                    {"mod_rewrite.dll", true},
                    {"mod_ssl.dll", true}},
        .utils = {{"ab.exe", true},
                  {"htdigest.exe", false},
                  {"htpasswd.exe", true},
                  {"rotatelogs.exe", false}},
    };
    return catalogue;
}

PeVersion InstalledEditorVersion() {
    return {3, 4, 1, 790};
}
PeVersion InstalledListenerVersion() {
    return Catalogue().listener;
}
PeVersion InstalledServerVersion() {
    return Catalogue().server;
}

const std::vector<std::string>& CataloguePaths() {
    static const std::vector<std::string> paths{
        "/download/php/list_dbg.php", "/download/php/list.php", "/download/php/versions.php",
        "/download/utils/list_mod.php", "/download/utils/list_exe.php"};
    return paths;
}

std::string EditorFolder(const std::string& dir) {
    return dir + "/Corvalite Editor";
}
std::string EditorPath(const std::string& dir) {
    return EditorFolder(dir) + "/CorvaliteEditor.exe";
}
std::string ListenerPath(const std::string& dir) {
    return EditorFolder(dir) + "/DbgListener.exe";
}
std::string AppDataFolder(const std::string& dir) {
    return dir + "/AppData/";
}
std::string ServerFolder(const std::string& dir) {
    return AppDataFolder(dir) + "Zelmarock";
}
std::string LauncherPath(const std::string& dir) {
    return ServerFolder(dir) + "/corvalitesrv.exe";
}
std::string DownloadFolder(const std::string& dir) {
    return dir + "/Downloads";
}

std::string PhpFolderName(const std::string& setupEntry) {
    std::string name = setupEntry.substr(0, setupEntry.rfind('.'));
    if (const auto underscore = name.find('_'); underscore != std::string::npos)
        name.erase(0, underscore + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name;
}

void WriteSampleSite(const std::string& siteDir) {
    const fs::path download = fs::path(siteDir) / "download";
    const SampleCatalogue& c = Catalogue();
    WriteText(download / "php" / "list_dbg.php", ListAnswer(c.debugger));
    WriteText(download / "php" / "list.php", ListAnswer(c.php));
    WriteText(download / "php" / "versions.php",
              VersionText(c.editor) + "\r\n" + VersionText(c.server) + "\r\n");
    WriteText(download / "utils" / "list_mod.php", ListAnswer(c.modules));
    WriteText(download / "utils" / "list_exe.php", ListAnswer(c.utils));

    WritePe(download / "php_editor_php5.exe", c.editor);
    WritePe(download / "DbgListener.exe", c.listener);
    WritePe(download / "websrv.exe", c.server);
    for (const auto& entry : c.php)
        WritePe(download / "php" / entry.name, SetupVersion(entry.name));
    for (const auto& entry : c.debugger) WriteLibrary(download / "php" / entry.name);
    for (const auto& entry : c.modules) WritePe(download / "utils" / entry.name, c.server);
    for (const auto& entry : c.utils) WritePe(download / "utils" / entry.name, c.server);
}

void WriteSampleInstallation(const std::string& installDir) {
    const SampleCatalogue& c = Catalogue();
    WritePe(EditorPath(installDir), InstalledEditorVersion());
    WritePe(ListenerPath(installDir), InstalledListenerVersion());

    // PHP setups leave a sub-folder each; one written in lower case, as older setups did.
    const fs::path php = fs::path(EditorFolder(installDir)) / "php";
    for (const auto& entry : c.php) {
        if (!entry.installed) continue;
        std::string folder = PhpFolderName(entry.name);
        if (&entry == &c.php.front())
            std::transform(folder.begin(), folder.end(), folder.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        WriteText(php / folder / "php.ini", "; PHP " + AfterFirstDash(entry.name) + "\n");
    }
    fs::create_directories(php / "PHP-5.1.6");  // an old one the vendor no longer offers

    const fs::path libraries = fs::path(EditorFolder(installDir)) / "bin" / "server";
    for (const auto& entry : c.debugger)
        if (entry.installed) WriteLibrary(libraries / entry.name);
    WriteLibrary(libraries / "php_dbg.dll-5.1.6");

    WritePe(LauncherPath(installDir), InstalledServerVersion());
    const fs::path modules = fs::path(ServerFolder(installDir)) / "modules";
    for (const auto& entry : c.modules)
        if (entry.installed) WritePe(modules / entry.name, InstalledServerVersion());
    for (const auto& entry : c.utils)
        if (entry.installed) WritePe(modules / "utils" / entry.name, InstalledServerVersion());

    fs::create_directories(DownloadFolder(installDir));
}

void WriteSampleHive(const std::string& hiveFile, const std::string& installDirGiven,
                     const std::string& baseUrl) {
    // The program may run from anywhere: the hive names the installation absolutely.
    std::string installDir = fs::absolute(installDirGiven).lexically_normal().string();
    while (installDir.size() > 1 && installDir.back() == '/') installDir.pop_back();
    fs::create_directories(fs::path(hiveFile).parent_path());
    const auto hive = platform::OpenHiveFile(hiveFile);
    Put(*hive, kUpdateKey, "CatalogueBase", platform::TextValue(baseUrl));
    Put(*hive, kUpdateKey, "DownloadBase", platform::TextValue(baseUrl));
    Put(*hive, kUpdateKey, "DownloadDir", platform::TextValue(DownloadFolder(installDir)));
    Put(*hive, kUpdateKey, "AutoUpdate", platform::DwordValue(1));
    Put(*hive, kModulesKey, "PHP", platform::TextValue(EditorPath(installDir)));
    Put(*hive, kShellFoldersKey, "AppData", platform::TextValue(AppDataFolder(installDir)));
}

}  // namespace demo
