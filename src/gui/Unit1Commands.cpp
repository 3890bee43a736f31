// The two download commands of the main window: "Download" and "Download and install", and
// the same for the unattended mode (InstallCommand.h).
// Whatever arrives is held open and its signature checked before anything else happens; a
// file the vendor did not sign is removed from the download folder, never started or placed.
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "core/ReplacedFiles.h"
#include "core/Unit1Install.h"
#include "core/verinfo.h"
#include "gui/ComponentRow.h"
#include "gui/InstallCommand.h"
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

// A component that is already current is fetched again only when the user says so.
bool ConfirmCurrentComponent(const TreeRow& row) {
    if (row.mark != NeedsUpdate::No) return true;
    const std::string question =
        "Selected component: " + row.name + " is installed and up to date, continue anyway?";
    return MessageDialog(question, mtConfirmation, mbYesNo, 0, kEnglish) != ModalResult::No;
}

// What both commands do first; nothing when there is nothing (or nothing safe) to fetch.
std::optional<DownloadRequest> PrepareDownload(const InstallSite& site, const TreeRow& row,
                                               InstallResult& result) {
    // Only file and setup rows carry a link; a group row offers no download.
    if (!row.OffersDownload()) return std::nullopt;
    if (!ConfirmCurrentComponent(row)) return std::nullopt;
    DownloadRequest request;
    request.url = row.link;
    request.fileName = DownloadFileName(request.url);
    // The name comes from outside; it must not reach beyond the download folder.
    if (!IsSafeDownloadName(request.fileName)) {
        ShowNotice(UnsafeNameNotice(request.fileName));
        result.outcome = InstallOutcome::UnsafeName;
        return std::nullopt;
    }
    request.folder = EffectiveDownloadFolder(site.downloadDir, site.places);
    request.destination = DownloadDestination(request.folder, request.fileName);
    result.folder = request.folder;
    return request;
}

// True when the file arrived; the engine has explained any failure itself.
bool RunDownload(InstallSite& site, const DownloadRequest& request) {
    DownloadEngine& engine = site.services.engine;
    engine.SetOption("title", "File Download");
    engine.ClearFiles();
    engine.AddFile(request.url, request.destination);
    return engine.DownloadFiles(OwnerWindow{site.owner}) == 1;
}

InstallOutcome StartSetup(InstallSite& site, const DownloadRequest& request, HeldFile& held) {
    // Elsewhere than on Windows the name can be given to another file while we hold ours.
    if (!held.isNamedBy(request.destination)) {
        Refuse(request, held, ReplacedAfterCheck(request.fileName));
        return InstallOutcome::Refused;
    }
    if (site.services.shell.StartProgram(request.destination)) return InstallOutcome::Done;
    MessageDialog("\"" + request.fileName + "\" could not be started. It stays in the download " +
                      "folder " + request.folder + ".",
                  mtError, mbOK, 0, kEnglish);
    return InstallOutcome::NotInstalled;
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

std::string ReadsAs(const std::string& version) {
    return version.empty() ? "has no readable version record" : "reads as version " + version;
}

// A placed file that does not read as the download did is not left as the product's file:
// the one it replaced goes back through the store (so this too can be undone), or, when
// there was none, it is removed.
void TakeBackUnproven(const DownloadRequest& request, const std::string& target,
                      const std::string& folder, ReplacedFiles* store,
                      const std::string& downloaded, const std::string& placed) {
    std::string fate;
    if (!store)
        fate = RemoveFile(target) ? "It was removed again."
                                  : "It could not be removed: remove " + target + " yourself.";
    else if (store->Restore(target, std::time(nullptr)) == ReplacedFiles::Outcome::Replaced)
        fate =
            "The previous version was put back; the placed file is kept, so this can be "
            "undone.";
    else
        fate = "The previous version could not be put back: " + target + " is left as placed.";
    MessageDialog("\"" + request.fileName + "\" was not installed: placed in " + folder + " it " +
                      ReadsAs(placed) + ", but the download " + ReadsAs(downloaded) + ". " + fate,
                  mtError, mbOK, 0, kEnglish);
}

InstallOutcome MoveIntoProduct(InstallSite& site, const DownloadRequest& request,
                               ComponentMarker marker, HeldFile& held, InstallResult& result) {
    const std::string folder = InstallFolder(marker, site.editorPath, site.serverPath);
    if (folder.empty()) {
        ShowNotice(ProductMissingNotice(marker, request.fileName));
        return InstallOutcome::NotInstalled;
    }
    if (!held.isNamedBy(request.destination)) {
        Refuse(request, held, ReplacedAfterCheck(request.fileName));
        return InstallOutcome::Refused;
    }
    result.placing = true;
    // The shell asks before replacing and explains its own failures. A file that is replaced
    // is kept first, so the install can be undone and a stop halfway loses neither file.
    const std::string target = platform::TransferTarget(request.destination, folder);
    const auto transfer = [&] {
        return ShellFileOperation(site.services.shell, site.owner, {request.destination}, folder,
                                  true);
    };
    // Read while the download is still what was checked; the placed file must read the same.
    const std::string downloaded = FullVersionText(request.destination);
    ReplacedFiles store(site.replacedDir);
    const bool replacing = platform::TransferTargetExists(request.destination, folder);
    if (replacing && RefuseWhileHeld(request, target)) return InstallOutcome::NotInstalled;
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
                                  "would replace could not be kept in " + site.replacedDir +
                                  ", so the install could not be undone.",
                              mtError, mbOK, 0, kEnglish);
                break;
        }
    }
    if (!moved) return InstallOutcome::NotInstalled;
    if (!PlacedFileIsTrusted(held, target, folder)) {
        // A refused copy was removed from the product: the file it replaced goes back.
        if (replacing) store.Restore(target, std::time(nullptr));
        return InstallOutcome::Refused;
    }
    result.version = FullVersionText(target);
    if (result.version == downloaded) return InstallOutcome::Done;
    held.close();  // Windows will not replace or remove a file that is held open
    TakeBackUnproven(request, target, folder, replacing ? &store : nullptr, downloaded,
                     result.version);
    result.version.clear();
    return InstallOutcome::NotInstalled;
}

}  // namespace

std::string InPlaceCaption(const std::string& version) {
    return version.empty() ? "In place, without a version record"
                           : "Version " + version + " in place";
}

InstallResult DownloadOnly(InstallSite& site, const TreeRow& row) {
    InstallResult result;
    const auto request = PrepareDownload(site, row, result);
    if (!request) return result;
    result.outcome = InstallOutcome::DownloadFailed;
    if (!RunDownload(site, *request)) return result;
    HeldFile held(request->destination, HeldFile::Use::Move);
    result.outcome = CheckDownload(*request, held, result.verdict) ? InstallOutcome::Done
                                                                   : InstallOutcome::Refused;
    return result;
}

InstallResult DownloadAndInstall(InstallSite& site, const TreeRow& row) {
    InstallResult result;
    const auto request = PrepareDownload(site, row, result);
    if (!request) return result;
    const ComponentMarker marker = FindComponentMarker(request->destination);
    if (RefuseWhileProductRuns(site.services.desktop, site.serverRunner, request->destination)) {
        result.outcome = InstallOutcome::ProductRunning;
        return result;
    }
    // An older file of the same name may lie in the download folder; it must never be
    // started or moved in place of one that did not arrive.
    result.outcome = InstallOutcome::DownloadFailed;
    if (!RunDownload(site, *request)) return result;
    const bool setup = IsSetupMarker(marker);
    // Held from the check until it has been started or moved, so that is what was checked.
    HeldFile held(request->destination, setup ? HeldFile::Use::Start : HeldFile::Use::Move);
    if (!CheckDownload(*request, held, result.verdict)) {
        result.outcome = InstallOutcome::Refused;
        return result;
    }
    if (setup)
        result.outcome = StartSetup(site, *request, held);
    else if (IsMovedMarker(marker))
        result.outcome = MoveIntoProduct(site, *request, marker, held, result);
    else
        result.outcome = InstallOutcome::Done;  // nothing to install: it stays where it was fetched
    return result;
}

namespace {

// The window's side: the selected row, the refresh after placing, the publisher shown.

// The selected row as the commands read it; a group row when nothing is selected.
TreeRow SelectedRow(const TForm1& form) {
    TreeRow row;
    const toolkit::TTreeNode* node = form.ProjectTree->Selected();
    if (!node) return row;
    row.name = node->Text().toStdString();
    row.kind = KindOf(*node);
    row.mark = MarkOf(*node);
    row.link = LinkOf(*node).toStdString();
    return row;
}

// Where the download is reported: the panel that described the selected row.
void ShowPublisher(TForm1& form, const Authenticity& trusted) {
    form.TBXStatusBar1->SetCaption(1, QString::fromStdString(PublisherCaption(trusted)));
}

}  // namespace

InstallSite TForm1::Site() {
    return {services_,   this,       places,     DownloadDir,
            ReplacedDir, EditorPath, ServerPath, *ServerRunner};
}

void TForm1::Button2Click() {
    InstallSite site = Site();
    const InstallResult result = DownloadOnly(site, SelectedRow(*this));
    if (result.folder.empty()) return;
    if (result.outcome == InstallOutcome::Done) ShowPublisher(*this, result.verdict);
    ExploreFolder(services_.shell, result.folder);  // whatever became of the download
}

void TForm1::Button1Click() {
    InstallSite site = Site();
    const InstallResult result = DownloadAndInstall(site, SelectedRow(*this));
    if (result.placing && AutoUpdate && Online) RefreshComponentTree();
    // After the refresh, which resets the panels.
    if (result.outcome != InstallOutcome::Done) return;
    ShowPublisher(*this, result.verdict);
    if (result.placing)
        TBXStatusBar1->SetCaption(2, QString::fromStdString(InPlaceCaption(result.version)));
}
