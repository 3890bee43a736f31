// The file manager and the folder picker of the desktop shell.
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

#include "gui/DesktopShell.h"
#include "platform/BrowseFlags.h"

namespace gui {

namespace {

QString Local(const std::string& text) {
    return QString::fromStdString(text);
}

QFileDialog::Options PickerOptions(unsigned flags) {
    QFileDialog::Options options;
    if (!(flags & platform::kBifBrowseIncludeFiles)) options |= QFileDialog::ShowDirsOnly;
    // Qt's picker has no new-folder switch of its own; a read-only view has no such button.
    if (flags & platform::kBifNoNewFolderButton) options |= QFileDialog::ReadOnly;
    return options;
}

// Where the picker opens: in the folder itself, so "Choose" at once returns it; without
// one, in the home folder with nothing chosen yet.
QString StartFolder(const std::string& folder) {
    const QFileInfo info(Local(folder));
    if (!folder.empty() && info.isDir()) return info.absoluteFilePath();
    return QDir::homePath();
}

}  // namespace

void DesktopShell::ExploreFolder(const std::string& folder) {
    // openUrl hands the folder to the desktop's opener and does not wait; without one it
    // just answers false, which nobody is told about.
    QDesktopServices::openUrl(QUrl::fromLocalFile(Local(folder)));
}

bool DesktopShell::PickFolder(QWidget* owner, const std::string& caption, std::string& folder,
                              unsigned flags) {
    QFileDialog dialog(owner, Local(caption), StartFolder(folder));
    dialog.setObjectName(QStringLiteral("FolderPicker"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOptions(PickerOptions(flags));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    // Only real folders count as picked, as the shell's "file-system folders only" asks.
    const QFileInfo info(chosen.first());
    if (!info.isDir()) return false;
    folder = QDir::toNativeSeparators(info.absoluteFilePath()).toStdString();
    return true;
}

}  // namespace gui
