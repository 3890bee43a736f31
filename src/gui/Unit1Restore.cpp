// "Restore previous version" from a row's context menu: the file an install replaced goes
// back the same journalled way, and the file it replaces is kept in turn, so a restore can
// itself be undone.
#include <QAccessible>
#include <QMenu>
#include <ctime>
#include <string>

#include "core/ReplacedFiles.h"
#include "core/verinfo.h"
#include "gui/ComponentRow.h"
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

std::string InstalledVersion(const std::string& path) {
    TrsFileVersion reader;
    if (!reader.GetVersion(path)) return {};
    return std::to_string(reader.Major) + "." + std::to_string(reader.Minor) + "." +
           std::to_string(reader.Release) + "." + std::to_string(reader.Build);
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

void TForm1::RestorePreviousVersion(const std::string& target) {
    ReplacedFiles store(ReplacedDir);
    const auto kept = store.Find(target);
    if (!kept) return;
    if (RefuseWhileProductRuns(*this, target)) return;
    const std::string question = "Replace \"" + NameOf(target) + "\", " +
                                 VersionName(InstalledVersion(target)) +
                                 ", with the previous one, " + VersionName(kept->version) +
                                 "? The one installed now is kept, so this can be undone.";
    if (MessageDialog(question, mtConfirmation, mbYesNo, 0, kEnglish) != ModalResult::Yes) return;
    switch (store.Restore(target, std::time(nullptr))) {
        case ReplacedFiles::Outcome::Replaced:
            break;
        case ReplacedFiles::Outcome::NotReplaced:
        case ReplacedFiles::Outcome::NotKept:
            MessageDialog("The previous version of \"" + NameOf(target) +
                              "\" could not be put back; the installed one is unchanged.",
                          mtError, mbOK, 0, kEnglish);
            break;
    }
    if (Online) RefreshComponentTree();
}
