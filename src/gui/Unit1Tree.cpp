#include <QString>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/TextList.h"
#include "core/TextUtils.h"
#include "core/Unit1Inventory.h"
#include "core/srunner.h"
#include "core/verinfo.h"
#include "gui/Unit1.h"

namespace {

using toolkit::TTreeNode;

QString Wide(const std::string& text) {
    return QString::fromUtf8(text);
}

// Names found on disk, for case-insensitive membership tests. A sorted array: the lookups
// come in catalogue order and touch few, mostly cached, places in it, where a hash set's
// nodes lie scattered over the heap and cost a cache miss each.
class NameSet {
  public:
    // Keeps pointers into names, which must stay unchanged while the set is asked.
    void Assign(const toolkit::TStringList& names) {
        names_.clear();
        names_.reserve(names.Count());
        for (const auto& name : names.Items()) names_.push_back({toolkit::AsciiUpper(name), &name});
        std::sort(names_.begin(), names_.end(),
                  [](const Entry& a, const Entry& b) { return a.key < b.key; });
    }
    // The name as it is written on disk, which on a case-sensitive file system is the only
    // one that reaches the file; the same spelling when there is one; null when absent.
    const std::string* Find(const std::string& name) const {
        if (names_.empty()) return nullptr;
        const std::string key = toolkit::AsciiUpper(name);
        auto it = std::lower_bound(
            names_.begin(), names_.end(), key,
            [](const Entry& entry, const std::string& k) { return entry.key < k; });
        const std::string* found = nullptr;
        for (; it != names_.end() && it->key == key; ++it) {
            if (*it->onDisk == name) return it->onDisk;
            if (!found) found = it->onDisk;
        }
        return found;
    }

  private:
    struct Entry {
        std::string key;
        const std::string* onDisk;
    };
    std::vector<Entry> names_;
};

void FillFound(TTreeNode* row, const std::string& path, const TrsFileVersion& reader, bool obsolete,
               const std::string& link) {
    row->AppendColumnText(Wide(path));
    row->AppendColumnText(Wide(reader.VersionText));
    row->AppendColumnText(QString::number(reader.Build));
    row->AppendColumnText(obsolete ? "Obsolete" : "Up to date");
    row->AppendColumnText(Wide(link));
    row->SetImageIndex(obsolete ? 1 : 0);
}

void FillNotFound(TTreeNode* row, const std::string& link) {
    for (int i = 0; i < 3; ++i) row->AppendColumnText(QString());
    row->AppendColumnText("Not found");
    row->AppendColumnText(Wide(link));
    row->SetImageIndex(1);
}

void FillPresent(TTreeNode* row, const std::string& location, const QString& version,
                 const QString& build, const char* state, const std::string& link) {
    row->AppendColumnText(Wide(location));
    row->AppendColumnText(version);
    row->AppendColumnText(build);
    row->AppendColumnText(state);
    row->AppendColumnText(Wide(link));
    row->SetImageIndex(0);
}

void SetSummary(TTreeNode* group, int present, std::size_t available) {
    group->SetColumnText(3, QString("%1 present, %2 available").arg(present).arg(available));
}

// "setup_php-5.2.1.exe" -> "PHP-5.2.1": no extension, nothing up to the first "_", upper case.
std::string PhpDisplayName(const std::string& entry) {
    std::string name = entry;
    const auto dot = name.find_last_of('.');
    const auto delimiter = name.find_last_of("/\\:");
    if (dot != std::string::npos && (delimiter == std::string::npos || dot > delimiter))
        name.erase(dot);
    if (const auto underscore = name.find('_'); underscore != std::string::npos)
        name.erase(0, underscore + 1);
    return toolkit::AsciiUpper(name);
}

std::string AfterFirstDash(const std::string& entry) {
    const auto dash = entry.find('-');
    return dash == std::string::npos ? entry : entry.substr(dash + 1);
}

std::string Same(const std::string& entry) {
    return entry;
}

// A group row with its entry rows, built outside the tree and added to it in one step when
// the builder goes, on every way out (so what was built before an error remains). Inside the
// tree every text set would cost a view update and every row added the tree's bookkeeping.
class GroupRows {
  public:
    GroupRows(toolkit::TTreeView& tree, TTreeNode* parent, const char* caption)
        : tree_(tree), parent_(parent), group_(toolkit::TTreeView::NewNode(caption)) {
        for (int i = 0; i < 4; ++i) group_->AppendColumnText(QString());
    }
    ~GroupRows() { tree_.AddChild(parent_, std::move(group_)); }
    GroupRows(const GroupRows&) = delete;
    GroupRows& operator=(const GroupRows&) = delete;

    TTreeNode* Group() const { return group_.get(); }
    // The row joins the group at once, while it is still in the cache.
    TTreeNode* Add(const QString& text) {
        return tree_.AddChild(group_.get(), toolkit::TTreeView::NewNode(text));
    }

  private:
    toolkit::TTreeView& tree_;
    TTreeNode* parent_;
    std::unique_ptr<TTreeNode> group_;
};

// One row per catalogue entry under a group: present entries (by their row text) are filled
// by fillPresent, given the name found on disk, the others get the missing pattern; then the
// group's summary.
template <class NameOf, class FillPresentRow>
void AddEntryRows(GroupRows& rows, const toolkit::TStringList& entries, int kind,
                  const std::string& linkBase, const NameSet& found, NameOf nameOf,
                  FillPresentRow fillPresent) {
    int present = 0;
    for (const auto& entry : entries.Items()) {
        const std::string name = nameOf(entry);
        TTreeNode* row = rows.Add(Wide(name));
        row->SetTag(kind);
        const std::string link = linkBase + entry;
        const std::string* onDisk = found.Find(name);
        if (!onDisk) {
            FillNotFound(row, link);
            continue;
        }
        fillPresent(row, entry, *onDisk, link);
        ++present;
    }
    SetSummary(rows.Group(), present, entries.Count());
}

}  // namespace

void TForm1::RefreshComponentTree() {
    EditorPath.clear();
    ServerPath.clear();
    toolkit::TreeUpdateGuard suspended(*ProjectTree);
    EditorFound = false;
    TrsFileVersion reader;
    toolkit::TStringList scratch;
    NameSet present;
    ProjectTree->RemoveAll();

    FetchCatalogue(services_.engine, this, places.listFolder, services_.catalogueBase, Catalogue);
    const std::string& base = services_.downloadBase;

    // The editor and its listener.
    TTreeNode* editor = ProjectTree->AddChild(nullptr, "Corvalite Editor for PHP");
    editor->SetTag(2);
    const std::string editorPath = GetEditorPath(services_.registry);
    const std::string editorLink = base + "/download/php_editor_php5.exe";
    if (!editorPath.empty()) {
        reader.GetVersion(editorPath);
        const bool obsolete =
            IsNewerVersion(LocalComparisonText(reader), Catalogue.RemoteEditorVersion);
        FillFound(editor, editorPath, reader, obsolete, editorLink);
        EditorFound = true;
        EditorPath = editorPath;

        TTreeNode* listener = ProjectTree->AddChild(editor, "Debugger listener");
        listener->SetTag(1);
        const std::string listenerPath = DebuggerListenerPath(editorPath);
        const std::string listenerLink = base + "/download/DbgListener.exe";
        if (FileExists(listenerPath)) {
            reader.GetVersion(listenerPath);
            FillFound(listener, listenerPath, reader, !IsListenerCurrent(reader), listenerLink);
        } else {
            FillNotFound(listener, listenerLink);
        }
    } else {
        FillNotFound(editor, editorLink);
    }

    // PHP setups: present when a sub-folder of the display name exists.
    {
        GroupRows php(*ProjectTree, editor, "PHP");
        const std::string phpFolder = PhpFolder(editorPath);
        scratch.Clear();
        if (EditorFound) ListSubfolders(phpFolder, scratch);
        present.Assign(scratch);
        AddEntryRows(php, Catalogue.PHP, 2, base + "/download/php/", present, PhpDisplayName,
                     [&](TTreeNode* row, const std::string&, const std::string& onDisk,
                         const std::string& link) {
                         const std::string location = phpFolder + PathDelim + onDisk;
                         reader.GetVersion(location);  // a folder has no version record: "" and "0"
                         FillPresent(row, location, Wide(reader.VersionText),
                                     QString::number(reader.Build), "Present", link);
                     });
    }

    // Debugger libraries: file names carry the PHP version after their first "-".
    {
        GroupRows debugger(*ProjectTree, editor, "Debugger");
        const std::string libraryFolder = DebuggerLibraryFolder(editorPath);
        scratch.Clear();
        if (EditorFound) ListFiles(libraryFolder, DebuggerLibraryMask(), scratch);
        present.Assign(scratch);
        AddEntryRows(debugger, Catalogue.Debugger, 1, base + "/download/php/", present, Same,
                     [&](TTreeNode* row, const std::string& entry, const std::string& onDisk,
                         const std::string& link) {
                         FillPresent(row, libraryFolder + PathDelim + onDisk,
                                     Wide(AfterFirstDash(entry)), "0", "OK", link);
                     });
    }
    ProjectTree->ExpandOneLevel(editor);

    // The web server with its modules and utilities.
    TTreeNode* server = ProjectTree->AddChild(nullptr, "Corvalite Web Server");
    server->SetTag(2);
    const std::string serverLink = base + "/download/websrv.exe";
    const std::string& launcher = ServerRunner->LauncherPath;
    if (FileExists(launcher)) {
        ServerPath = launcher;
        reader.GetVersion(launcher);
        const bool obsolete =
            IsNewerVersion(LocalComparisonText(reader), Catalogue.RemoteServerVersion);
        FillFound(server, launcher, reader, obsolete, serverLink);
        const auto addFiles = [&](const char* caption, const std::string& folder,
                                  const std::string& mask, const toolkit::TStringList& entries) {
            GroupRows group(*ProjectTree, server, caption);
            scratch.Clear();
            ListFiles(folder, mask, scratch);
            present.Assign(scratch);
            AddEntryRows(group, entries, 1, base + "/download/utils/", present, Same,
                         [&](TTreeNode* row, const std::string&, const std::string& onDisk,
                             const std::string& link) {
                             const std::string location = folder + PathDelim + onDisk;
                             reader.GetVersion(location);  // shown, compared with nothing
                             FillPresent(row, location, Wide(reader.VersionText),
                                         QString::number(reader.Build), "OK", link);
                         });
        };
        addFiles("Modules", ModulesFolder(launcher), ModulesMask(), Catalogue.Modules);
        addFiles("Utils", UtilitiesFolder(launcher), UtilitiesMask(), Catalogue.Utils);
    } else {
        FillNotFound(server, serverLink);
    }
    ProjectTree->ExpandOneLevel(server);
}
