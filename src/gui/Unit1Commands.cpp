// The two download commands of the main window: "Download" and "Download and install".
// Whatever arrives is held open and its signature checked before anything else happens; a
// file the vendor did not sign is removed from the download folder, never started or placed.
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "core/Authenticity.h"
#include "core/ReplacedFiles.h"
#include "core/Unit1Install.h"
#include "core/Unit1Probes.h"
#include "core/srunner.h"
#include "gui/ComponentRow.h"
#include "gui/MessDlgs.h"
#include "gui/ProductGuard.h"
#include "gui/Unit1.h"
#include "gui/upd_utils.h"
#include "platform/FileHolders.h"
#include "platform/FileMove.h"
#include "platform/HeldFile.h"
#include "platform/Paths.h"

namespace {

struct DownloadRequest {
    std::string url;
    std::string fileName;
    std::string folder;  // the download folder of this download
    std::string destination;
};

using platform::HeldFile;

void ShowNotice(const std::string& text) {
    MessageDialog(text, mtInformation, mbOK, 0, kEnglish);
}

bool RemoveFile(const std::string& path) {
    std::error_code error;
    std::filesystem::remove(platform::PathFromUtf8(path), error);
    return !error;
}

// A refused file goes, and the user is told once what was wrong with it.
void Refuse(const DownloadRequest& request, HeldFile& held, const Authenticity& refused) {
    held.close();  // Windows will not remove a file that is held open
    const RefusedFileFate fate = RemoveFile(request.destination)
                                     ? RefusedFileFate::RemovedFromDownloads
                                     : RefusedFileFate::NotRemoved;
    MessageDialog(RefusalNotice(refused, fate, request.folder), mtError, mbOK, 0, kEnglish);
}

// Checks the held download through its descriptor; a refused one is gone when this returns.
bool CheckDownload(const DownloadRequest& request, HeldFile& held, Authenticity& verdict) {
    verdict = CheckAuthenticity(held, request.destination, PublisherPins::Trusted());
    if (verdict.trusted) return true;
    Refuse(request, held, verdict);
    return false;
}

// Where the download is reported: the panel that described the selected row.
void ShowPublisher(TForm1& form, const Authenticity& trusted) {
    form.TBXStatusBar1->SetCaption(1, QString::fromStdString(PublisherCaption(trusted)));
}

// A component that is already current is fetched again only when the user says so.
bool ConfirmCurrentComponent(const toolkit::TTreeNode& node) {
    if (MarkOf(node) != NeedsUpdate::No) return true;
    const std::string question = "Selected component: " + node.Text().toStdString() +
                                 " is installed and up to date, continue anyway?";
    return MessageDialog(question, mtConfirmation, mbYesNo, 0, kEnglish) != ModalResult::No;
}

// What both commands do first; nothing when there is nothing (or nothing safe) to fetch.
std::optional<DownloadRequest> PrepareDownload(TForm1& form) {
    const toolkit::TTreeNode* node = form.ProjectTree->Selected();
    // Only file and setup rows carry a link; a group row offers no download.
    if (!node || !OffersDownload(*node)) return std::nullopt;
    if (!ConfirmCurrentComponent(*node)) return std::nullopt;
    DownloadRequest request;
    request.url = LinkOf(*node).toStdString();
    request.fileName = DownloadFileName(request.url);
    // The name comes from outside; it must not reach beyond the download folder.
    if (!IsSafeDownloadName(request.fileName)) {
        ShowNotice(UnsafeNameNotice(request.fileName));
        return std::nullopt;
    }
    request.folder = EffectiveDownloadFolder(form.DownloadDir, form.places);
    request.destination = DownloadDestination(request.folder, request.fileName);
    return request;
}

// True when the file arrived; the engine has explained any failure itself.
bool RunDownload(TForm1& form, const DownloadRequest& request) {
    DownloadEngine& engine = form.services().engine;
    engine.SetOption("title", "File Download");
    engine.ClearFiles();
    engine.AddFile(request.url, request.destination);
    return engine.DownloadFiles(OwnerWindow{&form}) == 1;
}

void StartSetup(TForm1& form, const DownloadRequest& request, HeldFile& held,
                const Authenticity& trusted) {
    // Elsewhere than on Windows the name can be given to another file while we hold ours.
    if (!held.isNamedBy(request.destination)) {
        Refuse(request, held, ReplacedAfterCheck(request.fileName));
        return;
    }
    if (form.services().shell.StartProgram(request.destination)) {
        ShowPublisher(form, trusted);
        return;
    }
    MessageDialog("\"" + request.fileName + "\" could not be started. It stays in the download " +
                      "folder " + request.folder + ".",
                  mtError, mbOK, 0, kEnglish);
}

// True when what now lies at `target` is the checked file, or another copy of it that passes
// the check on its own (a move across file systems copies); otherwise it is removed again.
bool PlacedFileIsTrusted(const HeldFile& held, const std::string& target,
                         const std::string& folder) {
    if (held.isNamedBy(target)) return true;
    HeldFile placed(target, HeldFile::Use::Move);
    const Authenticity again = CheckAuthenticity(placed, target, PublisherPins::Trusted());
    if (again.trusted) return true;
    placed.close();
    const RefusedFileFate fate =
        RemoveFile(target) ? RefusedFileFate::RemovedFromProduct : RefusedFileFate::NotRemoved;
    MessageDialog(RefusalNotice(again, fate, folder), mtError, mbOK, 0, kEnglish);
    return false;
}

// A file in use is not replaced: Windows refuses it, and elsewhere the program holding it
// would go on with the old one. The holder is named; the download stays where it arrived.
bool RefuseWhileHeld(const DownloadRequest& request, const std::string& target) {
    const std::vector<std::string> holders = platform::ProgramsHolding(target);
    if (holders.empty()) return false;
    MessageDialog("\"" + request.fileName + "\" was not installed: " + target + " is in use by " +
                      platform::ListOfNames(holders) +
                      ". Close it and try again; the download stays in " + request.folder + ".",
                  mtError, mbOK, 0, kEnglish);
    return true;
}

void MoveIntoProduct(TForm1& form, const DownloadRequest& request, ComponentMarker marker,
                     HeldFile& held, const Authenticity& trusted) {
    const std::string folder = InstallFolder(marker, form.EditorPath, form.ServerPath);
    if (folder.empty()) {
        ShowNotice(ProductMissingNotice(marker, request.fileName));
        return;
    }
    if (!held.isNamedBy(request.destination)) {
        Refuse(request, held, ReplacedAfterCheck(request.fileName));
        return;
    }
    // The shell asks before replacing and explains its own failures. A file that is replaced
    // is kept first, so the install can be undone and a stop halfway loses neither file.
    const std::string target = platform::TransferTarget(request.destination, folder);
    const auto transfer = [&] {
        return ShellFileOperation(form.services().shell, &form, {request.destination}, folder,
                                  true);
    };
    ReplacedFiles store(form.ReplacedDir);
    const bool replacing = platform::TransferTargetExists(request.destination, folder);
    if (replacing && RefuseWhileHeld(request, target)) return;
    bool moved = false;
    if (!replacing) {
        moved = transfer();
    } else {
        switch (store.Replace(target, transfer, std::time(nullptr))) {
            case ReplacedFiles::Outcome::Replaced:
                moved = true;
                break;
            case ReplacedFiles::Outcome::NotReplaced:
                break;
            case ReplacedFiles::Outcome::NotKept:
                MessageDialog("\"" + request.fileName + "\" was not installed: the file it " +
                                  "would replace could not be kept in " + form.ReplacedDir +
                                  ", so the install could not be undone.",
                              mtError, mbOK, 0, kEnglish);
                break;
        }
    }
    const bool placed = moved && PlacedFileIsTrusted(held, target, folder);
    // A refused copy was removed from the product: the file it replaced goes back.
    if (moved && !placed && replacing) store.Restore(target, std::time(nullptr));
    if (form.AutoUpdate && form.Online) form.RefreshComponentTree();
    if (placed) ShowPublisher(form, trusted);  // after the refresh, which resets the panels
}

}  // namespace

void TForm1::Button2Click() {
    const auto request = PrepareDownload(*this);
    if (!request) return;
    if (RunDownload(*this, *request)) {
        HeldFile held(request->destination, HeldFile::Use::Move);
        Authenticity verdict;
        if (CheckDownload(*request, held, verdict)) ShowPublisher(*this, verdict);
    }
    ExploreFolder(services_.shell, request->folder);  // whatever became of the download
}

void TForm1::Button1Click() {
    const auto request = PrepareDownload(*this);
    if (!request) return;
    const ComponentMarker marker = FindComponentMarker(request->destination);
    if (RefuseWhileProductRuns(*this, request->destination)) return;
    // An older file of the same name may lie in the download folder; it must never be
    // started or moved in place of one that did not arrive.
    if (!RunDownload(*this, *request)) return;
    const bool setup = IsSetupMarker(marker);
    // Held from the check until it has been started or moved, so that is what was checked.
    HeldFile held(request->destination, setup ? HeldFile::Use::Start : HeldFile::Use::Move);
    Authenticity verdict;
    if (!CheckDownload(*request, held, verdict)) return;
    if (setup)
        StartSetup(*this, *request, held, verdict);
    else if (IsMovedMarker(marker))
        MoveIntoProduct(*this, *request, marker, held, verdict);
    else
        ShowPublisher(*this, verdict);  // nothing to install: it stays where it was fetched
}
