// The two download commands of the main window: "Download" and "Download and install".
#include <optional>
#include <string>

#include "core/Unit1Install.h"
#include "core/Unit1Probes.h"
#include "core/srunner.h"
#include "gui/ComponentRow.h"
#include "gui/MessDlgs.h"
#include "gui/Unit1.h"
#include "gui/upd_utils.h"

namespace {

struct DownloadRequest {
    std::string url;
    std::string fileName;
    std::string folder;  // the download folder of this download
    std::string destination;
};

void ShowNotice(const std::string& text) {
    MessageDialog(text, mtInformation, mbOK, 0, kEnglish);
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

// Asked at this moment: an earlier probe may be stale.
bool IsGuardedProductRunning(TForm1& form, RunningGuard guard) {
    switch (guard) {
        case RunningGuard::Editor:
        case RunningGuard::EditorListener:
            return IsEditorRunning(form.services().desktop);
        case RunningGuard::Server:
            form.ServerRunner->Refresh();
            return form.ServerRunner->Running;
        case RunningGuard::None:
            break;
    }
    return false;
}

void StartSetup(TForm1& form, const DownloadRequest& request) {
    if (form.services().shell.StartProgram(request.destination)) return;
    MessageDialog("\"" + request.fileName + "\" could not be started. It stays in the download " +
                      "folder " + request.folder + ".",
                  mtError, mbOK, 0, kEnglish);
}

void MoveIntoProduct(TForm1& form, const DownloadRequest& request, ComponentMarker marker) {
    const std::string folder = InstallFolder(marker, form.EditorPath, form.ServerPath);
    if (folder.empty()) {
        ShowNotice(ProductMissingNotice(marker, request.fileName));
        return;
    }
    // The shell asks before replacing and explains its own failures.
    ShellFileOperation(form.services().shell, &form, {request.destination}, folder, true);
    if (form.AutoUpdate && form.Online) form.RefreshComponentTree();
}

}  // namespace

void TForm1::Button2Click() {
    const auto request = PrepareDownload(*this);
    if (!request) return;
    RunDownload(*this, *request);
    ExploreFolder(services_.shell, request->folder);  // whatever became of the download
}

void TForm1::Button1Click() {
    const auto request = PrepareDownload(*this);
    if (!request) return;
    const ComponentMarker marker = FindComponentMarker(request->destination);
    const RunningGuard guard = GuardFor(marker);
    if (IsGuardedProductRunning(*this, guard)) {
        ShowNotice(RunningNotice(guard));
        return;
    }
    // An older file of the same name may lie in the download folder; it must never be
    // started or moved in place of one that did not arrive.
    if (!RunDownload(*this, *request)) return;
    if (IsSetupMarker(marker))
        StartSetup(*this, *request);
    else if (IsMovedMarker(marker))
        MoveIntoProduct(*this, *request, marker);
}
