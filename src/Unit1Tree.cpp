#include <QString>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "Unit1.h"
#include "Unit1Inventory.h"
#include "srunner.h"
#include "toolkit/TextList.h"
#include "verinfo.h"

namespace {

using toolkit::TTreeNode;

QString Wide(const std::string& text) {
    return QString::fromUtf8(text);
}

// Names found on disk, for case-insensitive membership tests in constant time.
class NameSet {
  public:
    void Assign(const toolkit::TStringList& names) {
        set_.clear();
        set_.reserve(names.Count());
        for (const auto& name : names.Items()) set_.insert(toolkit::AsciiUpper(name));
    }
    void Clear() { set_.clear(); }
    bool Contains(const std::string& name) const {
        return !set_.empty() && set_.count(toolkit::AsciiUpper(name)) != 0;
    }

  private:
    std::unordered_set<std::string> set_;
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

TTreeNode* AddGroup(toolkit::TTreeView& tree, TTreeNode* parent, const char* text) {
    TTreeNode* group = tree.AddChild(parent, text);
    for (int i = 0; i < 4; ++i) group->AppendColumnText(QString());
    return group;
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

// A group's entry rows, filled before they join the tree and added in one step: a row
// filled inside the tree updates the view for every text. Added on every way out, so the
// rows built before an error remain.
class RowBatch {
  public:
    RowBatch(toolkit::TTreeView& tree, TTreeNode* group, std::size_t expected)
        : tree_(tree), group_(group) {
        rows_.reserve(expected);
    }
    ~RowBatch() { tree_.AddChildren(group_, rows_); }
    RowBatch(const RowBatch&) = delete;
    RowBatch& operator=(const RowBatch&) = delete;

    TTreeNode* Add(const QString& text) {
        rows_.push_back(toolkit::TTreeView::NewNode(text));
        return rows_.back().get();
    }

  private:
    toolkit::TTreeView& tree_;
    TTreeNode* group_;
    std::vector<std::unique_ptr<TTreeNode>> rows_;
};

// One row per catalogue entry under a group: present entries (by their row text) are filled
// by fillPresent, the others get the missing pattern; then the group's summary.
template <class NameOf, class FillPresentRow>
void AddEntryRows(toolkit::TTreeView& tree, TTreeNode* group, const toolkit::TStringList& entries,
                  int kind, const std::string& linkBase, const NameSet& found, NameOf nameOf,
                  FillPresentRow fillPresent) {
    int present = 0;
    {
        RowBatch rows(tree, group, entries.Count());
        for (const auto& entry : entries.Items()) {
            const std::string name = nameOf(entry);
            TTreeNode* row = rows.Add(Wide(name));
            row->SetTag(kind);
            const std::string link = linkBase + entry;
            if (!found.Contains(name)) {
                FillNotFound(row, link);
                continue;
            }
            fillPresent(row, entry, name, link);
            ++present;
        }
    }
    SetSummary(group, present, entries.Count());
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

    FetchCatalogue(services_.engine, this, services_.programFolder, services_.catalogueBase,
                   Catalogue);
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
    TTreeNode* php = AddGroup(*ProjectTree, editor, "PHP");
    const std::string phpFolder = PhpFolder(editorPath);
    scratch.Clear();
    if (EditorFound) ListSubfolders(phpFolder, scratch);
    present.Assign(scratch);
    AddEntryRows(
        *ProjectTree, php, Catalogue.PHP, 2, base + "/download/php/", present, PhpDisplayName,
        [&](TTreeNode* row, const std::string&, const std::string& name, const std::string& link) {
            const std::string location = phpFolder + '/' + name;
            reader.GetVersion(location);  // a folder has no version record: "" and "0"
            FillPresent(row, location, Wide(reader.VersionText), QString::number(reader.Build),
                        "Present", link);
        });

    // Debugger libraries: file names carry the PHP version after their first "-".
    TTreeNode* debugger = AddGroup(*ProjectTree, editor, "Debugger");
    const std::string libraryFolder = DebuggerLibraryFolder(editorPath);
    scratch.Clear();
    if (EditorFound) ListFiles(libraryFolder, DebuggerLibraryMask(), scratch);
    present.Assign(scratch);
    AddEntryRows(
        *ProjectTree, debugger, Catalogue.Debugger, 1, base + "/download/php/", present, Same,
        [&](TTreeNode* row, const std::string& entry, const std::string&, const std::string& link) {
            FillPresent(row, libraryFolder + '/' + entry, Wide(AfterFirstDash(entry)), "0", "OK",
                        link);
        });
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
            TTreeNode* group = AddGroup(*ProjectTree, server, caption);
            scratch.Clear();
            ListFiles(folder, mask, scratch);
            present.Assign(scratch);
            AddEntryRows(*ProjectTree, group, entries, 1, base + "/download/utils/", present, Same,
                         [&](TTreeNode* row, const std::string& entry, const std::string&,
                             const std::string& link) {
                             const std::string location = folder + '/' + entry;
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
