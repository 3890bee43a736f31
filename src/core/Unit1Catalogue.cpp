#include "core/Unit1Catalogue.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/DownloadEngine.h"
#include "core/Errors.h"
#include "platform/Paths.h"

namespace {

struct CatalogueFile {
    const char* serverPath;
    const char* localName;
};

// Queue order; the server produces the lists, we only name where they land.
constexpr std::array<CatalogueFile, 5> kFiles{{
    {"/download/php/list_dbg.php", "list_d.txt"},
    {"/download/php/list.php", "list.txt"},
    {"/download/php/versions.php", "list_v.txt"},
    {"/download/utils/list_mod.php", "list_m.txt"},
    {"/download/utils/list_exe.php", "list_u.txt"},
}};

// Deletion order, also used to clear what an earlier failed run left behind.
constexpr std::array<const char*, 5> kDeleteOrder{"list.txt", "list_d.txt", "list_v.txt",
                                                  "list_m.txt", "list_u.txt"};

void DeleteLocalFiles(const std::string& folder) {
    std::error_code ignored;
    for (const char* name : kDeleteOrder)
        std::filesystem::remove(platform::PathFromUtf8(folder + name), ignored);
}

// A list that cannot be removed cannot be replaced either (the folder is not ours to change),
// so the engine's run would leave it to pass for this run's list: it fails at once instead.
void ClearStaleFiles(const std::string& folder) {
    for (const char* name : kDeleteOrder) {
        const std::string path = folder + name;
        std::error_code error;
        if (!std::filesystem::remove(platform::PathFromUtf8(path), error) && error)
            throw core::EFOpenError(core::Format(core::kFileOpenError, path));
    }
}

}  // namespace

void FetchCatalogue(DownloadEngine& engine, OwnerWindow owner, const std::string& listFolder,
                    const std::string& catalogueBase, TCatalogue& catalogue) {
    // A file left by an earlier failed run must never pass for this run's catalogue.
    ClearStaleFiles(listFolder);

    engine.SetOption("title", "Receiving info");
    engine.ClearFiles();
    for (const auto& file : kFiles)
        engine.AddScratchFile(catalogueBase + file.serverPath, listFolder + file.localName);
    engine.DownloadFiles(owner);

    catalogue.PHP.LoadFromFile(listFolder + "list.txt");
    catalogue.Debugger.LoadFromFile(listFolder + "list_d.txt");
    catalogue.Modules.LoadFromFile(listFolder + "list_m.txt");
    catalogue.Utils.LoadFromFile(listFolder + "list_u.txt");

    core::TStringList versions;
    versions.LoadFromFile(listFolder + "list_v.txt");
    if (versions.Count() > 1) {
        catalogue.RemoteEditorVersion = versions[0];
        catalogue.RemoteServerVersion = versions[1];
    }

    DeleteLocalFiles(listFolder);
}
