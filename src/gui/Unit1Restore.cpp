// "Restore previous version": the file an install replaced goes back the same journalled way,
// and the file it replaces is kept in turn, so a restore can itself be undone. The row's
// context menu and the unattended mode run the same command.
#include <QAccessible>
#include <QMenu>
#include <ctime>
#include <string>

#include "core/ReplacedFiles.h"
#include "core/verinfo.h"
#include "gui/ComponentRow.h"
#include "gui/InstallCommand.h"
#include "gui/MessDlgs.h"
#include "gui/ProductGuard.h"
#include "gui/Unit1.h"

namespace {

// The row's location column names the installed file.
std::string InstalledFileOf(const toolkit::TTreeNode& row) {
    if (KindOf(row) != ComponentKind::File) return {};
    return row.ColumnText(0).toStdString();
}

std::string VersionName(const std::string& version) {
    return version.empty() ? "a version without a version record" : "version " + version;
}

std::string NameOf(const std::string& path) {
    const auto delimiter = path.find_last_of("/\\");
    return delimiter == std::string::npos ? path : path.substr(delimiter + 1);
}

}  // namespace

void TForm1::ProjectTreeContextPopup(const QPoint& at) {
    QTreeWidgetItem* item = ProjectTree->itemAt(at);
    if (!item) item = ProjectTree->currentItem();
    auto* row = dynamic_cast<toolkit::TTreeNode*>(item);
    if (!row) return;
    const std::string target = InstalledFileOf(*row);
    if (target.empty() || !ReplacedFiles(ReplacedDir).Find(target)) return;
    QMenu menu(this);
    menu.setObjectName("RowMenu");
    menu.setAccessibleName("Component actions");
    QAction* restore = menu.addAction("&Restore previous version");
    restore->setObjectName("RestorePreviousVersion");
    restore->setToolTip("Put back the file that the last install replaced");
    if (menu.exec(ProjectTree->viewport()->mapToGlobal(at)) == restore)
        RestorePreviousVersion(target);
}

RestoreResult RestoreKeptFile(InstallSite& site, const std::string& target) {
    RestoreResult result;
    ReplacedFiles store(site.replacedDir);
    const auto kept = store.Find(target);
    if (!kept) return result;
    if (RefuseWhileProductRuns(site.services.desktop, site.serverRunner, target)) {
        result.outcome = RestoreOutcome::ProductRunning;
        return result;
    }
    const std::string question = "Replace \"" + NameOf(target) + "\", " +
                                 VersionName(FullVersionText(target)) +
                                 ", with the previous one, " + VersionName(kept->version) +
                                 "? The one installed now is kept, so this can be undone.";
    if (MessageDialog(question, mtConfirmation, mbYesNo, 0, kEnglish) != ModalResult::Yes) {
        result.outcome = RestoreOutcome::NotAsked;
        return result;
    }
    if (store.Restore(target, std::time(nullptr)) == ReplacedFiles::Outcome::Replaced) {
        result.outcome = RestoreOutcome::Restored;
        result.version = FullVersionText(target);
        return result;
    }
    MessageDialog("The previous version of \"" + NameOf(target) +
                      "\" could not be put back; the installed one is unchanged.",
                  mtError, mbOK, 0, kEnglish);
    result.outcome = RestoreOutcome::NotRestored;
    return result;
}

void TForm1::RestorePreviousVersion(const std::string& target) {
    InstallSite site = Site();
    const RestoreResult result = RestoreKeptFile(site, target);
    // A failed restore has been told; the folder is read again all the same.
    if (result.outcome != RestoreOutcome::Restored && result.outcome != RestoreOutcome::NotRestored)
        return;
    if (Online) RefreshComponentTree();
    // After the refresh, which resets the panels.
    if (result.outcome == RestoreOutcome::Restored)
        TBXStatusBar1->SetCaption(2, QString::fromStdString(InPlaceCaption(result.version)));
}
