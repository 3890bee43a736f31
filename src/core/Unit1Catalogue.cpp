#include "core/Unit1Catalogue.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/DownloadEngine.h"
#include "core/Errors.h"
#include "platform/Paths.h"
#include "platform/PlainFile.h"

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

// Two copies of the program share the folder and the lists' names: one copy's refresh would
// delete the lists another has just fetched, or its transfers collide with the other's. So
// one refresh at a time holds the folder; a second is told so rather than kept waiting for
// as long as the first may take (a proxy login left open, say). Where not even the lock
// can be made, nobody can write lists there either, and the refresh goes on to say so.
class RefreshLock {
  public:
    explicit RefreshLock(const std::string& folder) : path_(folder + ".lists.lock") {
        // The holder removes the lock when it is done, so a lock taken on a name that has
        // since gone is no lock: take it again on the name's new file.
        for (int attempt = 0; attempt < 3; ++attempt) {
            const auto opened = platform::OpenPlainFile(path_, true, platform::PlainFileLock::Try);
            if (opened.heldElsewhere)
                throw core::Error(
                    "The product lists are being received by another window of this "
                    "program; refresh again when it is done.");
            if (opened.fd < 0) return;
            if (platform::StillNamesPlainFile(opened.fd, path_)) {
                fd_ = opened.fd;
                return;
            }
            platform::ClosePlainFile(opened.fd);
        }
    }
    ~RefreshLock() {
        if (fd_ < 0) return;
        // Removed while still held, so the folder is left as the refresh found it.
        std::error_code ignored;
        std::filesystem::remove(platform::PathFromUtf8(path_), ignored);
        platform::ClosePlainFile(fd_);
    }
    RefreshLock(const RefreshLock&) = delete;
    RefreshLock& operator=(const RefreshLock&) = delete;

  private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace

void FetchCatalogue(DownloadEngine& engine, OwnerWindow owner, const std::string& listFolder,
                    const std::string& catalogueBase, TCatalogue& catalogue) {
    const RefreshLock lock(listFolder);
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
