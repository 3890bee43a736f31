#pragma once
// The sample vendor site, sample installation and sample hive of a newcomer's first run.
// The demo tool and the end-to-end tests write the very same files from here, so what the
// README's screenshot shows is what the tests check.
#include <string>
#include <vector>

#include "support/PeWriter.h"

namespace demo {

// One catalogue entry: its name on the site, and whether the sample installation has it.
struct SampleEntry {
    std::string name;
    bool installed;
};

struct SampleCatalogue {
    PeVersion editor;  // latest versions, line 1 and 2 of the versions answer
    PeVersion server;
    PeVersion listener;                 // not catalogued; the file on the site carries it
    std::vector<SampleEntry> php;       // setups; installed means a PHP sub-folder exists
    std::vector<SampleEntry> debugger;  // debugger libraries in the editor's bin/server
    std::vector<SampleEntry> modules;   // web server modules
    std::vector<SampleEntry> utils;     // web server utilities
};

const SampleCatalogue& Catalogue();

// Versions of the installed products: the editor is behind, the listener and the server
// are current.
PeVersion InstalledEditorVersion();
PeVersion InstalledListenerVersion();
PeVersion InstalledServerVersion();

// The five catalogue paths, in the order the program asks for them.
const std::vector<std::string>& CataloguePaths();

// Where things live inside an installation folder (`dir` without a trailing delimiter).
std::string EditorPath(const std::string& dir);
std::string ListenerPath(const std::string& dir);
std::string EditorFolder(const std::string& dir);
std::string AppDataFolder(const std::string& dir);  // with its trailing delimiter
std::string LauncherPath(const std::string& dir);
std::string ServerFolder(const std::string& dir);
std::string DownloadFolder(const std::string& dir);

// The PHP sub-folder name of a setup entry, as the tree shows it ("setup_php-5.2.17.exe" ->
// "PHP-5.2.17").
std::string PhpFolderName(const std::string& setupEntry);

// Each raises std::runtime_error when a file cannot be written.
void WriteSampleSite(const std::string& siteDir);
void WriteSampleInstallation(const std::string& installDir);
// The hive points both base addresses at baseUrl, names the editor and the application data
// folder of the installation, keeps downloads inside it, and turns "Always update info" on.
void WriteSampleHive(const std::string& hiveFile, const std::string& installDir,
                     const std::string& baseUrl);

}  // namespace demo
