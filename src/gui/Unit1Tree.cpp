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
#include "gui/ComponentRow.h"
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
    void Assign(const core::TStringList& names) {
        names_.clear();
        names_.reserve(names.Count());
        for (const auto& name : names.Items()) names_.push_back({core::AsciiUpper(name), &name});
        std::sort(names_.begin(), names_.end(),
                  [](const Entry& a, const Entry& b) { return a.key < b.key; });
    }
    // The name as it is written on disk, which on a case-sensitive file system is the only
    // one that reaches the file; the same spelling when there is one; null when absent.
    const std::string* Find(const std::string& name) const {
        if (names_.empty()) return nullptr;
        const std::string key = core::AsciiUpper(name);
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
    SetMark(*row, obsolete ? NeedsUpdate::Yes : NeedsUpdate::No);
}

void FillNotFound(TTreeNode* row, const std::string& link) {
    for (int i = 0; i < kStateColumn; ++i) row->AppendColumnText(QString());
    row->AppendColumnText("Not found");
    row->AppendColumnText(Wide(link));
    SetMark(*row, NeedsUpdate::Yes);
}

void FillPresent(TTreeNode* row, const std::string& location, const QString& version,
                 const QString& build, const char* state, const std::string& link) {
    row->AppendColumnText(Wide(location));
    row->AppendColumnText(version);
    row->AppendColumnText(build);
    row->AppendColumnText(state);
    row->AppendColumnText(Wide(link));
    SetMark(*row, NeedsUpdate::No);
}

void SetSummary(TTreeNode* group, int present, std::size_t available) {
    group->SetColumnText(kStateColumn,
                         QString("%1 present, %2 available").arg(present).arg(available));
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
    return core::AsciiUpper(name);
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
        for (int i = 0; i < kStateColumn + 1; ++i) group_->AppendColumnText(QString());
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

// One group of catalogue entries: how an entry is named, where present ones lie and how they
// read. Its rows are file rows unless said otherwise.
struct EntryGroup {
    const char* caption;
    const core::TStringList& entries;
    std::string linkBase;
    std::string folder;
    std::string (*nameOf)(const std::string&) = Same;
    ComponentKind kind = ComponentKind::File;
    const char* presentState = "OK";
    // Debugger libraries carry their version in their name; the others have it read from
    // disk (a folder has no version record: "" and "0").
    bool versionInName = false;
};

// Builds the tree of one refresh. The reader and the scratch list live for the refresh.
class TreeBuilder {
  public:
    TreeBuilder(TForm1& form, const std::string& base) : form_(form), base_(base) {}

    void AddEditor();
    void AddServer();

  private:
    TTreeNode* AddProduct(TTreeNode* parent, const char* caption, ComponentKind kind);
    void AddGroup(TTreeNode* parent, const EntryGroup& group);

    TForm1& form_;
    toolkit::TTreeView& tree_ = *form_.ProjectTree;
    const std::string& base_;
    TrsFileVersion reader_;
    core::TStringList scratch_;  // the names found on disk for the current group
};

TTreeNode* TreeBuilder::AddProduct(TTreeNode* parent, const char* caption, ComponentKind kind) {
    TTreeNode* row = tree_.AddChild(parent, caption);
    SetKind(*row, kind);
    return row;
}

void TreeBuilder::AddGroup(TTreeNode* parent, const EntryGroup& group) {
    GroupRows rows(tree_, parent, group.caption);
    NameSet found;
    found.Assign(scratch_);
    int present = 0;
    for (const auto& entry : group.entries.Items()) {
        const std::string name = group.nameOf(entry);
        TTreeNode* row = rows.Add(Wide(name));
        SetKind(*row, group.kind);
        const std::string link = group.linkBase + entry;
        const std::string* onDisk = found.Find(name);
        if (!onDisk) {
            FillNotFound(row, link);
            continue;
        }
        const std::string location = group.folder + PathDelim + *onDisk;
        if (group.versionInName) {
            FillPresent(row, location, Wide(AfterFirstDash(entry)), "0", group.presentState, link);
        } else {
            reader_.GetVersion(location);
            FillPresent(row, location, Wide(reader_.VersionText), QString::number(reader_.Build),
                        group.presentState, link);
        }
        ++present;
    }
    SetSummary(rows.Group(), present, group.entries.Count());
}

void TreeBuilder::AddEditor() {
    const TCatalogue& catalogue = form_.Catalogue;
    TTreeNode* editor = AddProduct(nullptr, "Corvalite Editor for PHP", ComponentKind::Setup);
    const std::string editorPath = GetEditorPath(form_.services().registry);
    const std::string editorLink = base_ + "/download/php_editor_php5.exe";
    if (editorPath.empty()) {
        FillNotFound(editor, editorLink);
    } else {
        reader_.GetVersion(editorPath);
        FillFound(editor, editorPath, reader_,
                  IsNewerVersion(LocalComparisonText(reader_), catalogue.RemoteEditorVersion),
                  editorLink);
        form_.EditorFound = true;
        form_.EditorPath = editorPath;

        TTreeNode* listener = AddProduct(editor, "Debugger listener", ComponentKind::File);
        const std::string listenerPath = DebuggerListenerPath(editorPath);
        const std::string listenerLink = base_ + "/download/DbgListener.exe";
        if (FileExists(listenerPath)) {
            reader_.GetVersion(listenerPath);
            FillFound(listener, listenerPath, reader_, !IsListenerCurrent(reader_), listenerLink);
        } else {
            FillNotFound(listener, listenerLink);
        }
    }

    // PHP setups are present as sub-folders of their display name.
    const std::string phpFolder = PhpFolder(editorPath);
    scratch_.Clear();
    if (form_.EditorFound) ListSubfolders(phpFolder, scratch_);
    AddGroup(editor, {.caption = "PHP",
                      .entries = catalogue.PHP,
                      .linkBase = base_ + "/download/php/",
                      .folder = phpFolder,
                      .nameOf = PhpDisplayName,
                      .kind = ComponentKind::Setup,
                      .presentState = "Present"});

    const std::string libraryFolder = DebuggerLibraryFolder(editorPath);
    scratch_.Clear();
    if (form_.EditorFound) ListFiles(libraryFolder, DebuggerLibraryMask(), scratch_);
    AddGroup(editor, {.caption = "Debugger",
                      .entries = catalogue.Debugger,
                      .linkBase = base_ + "/download/php/",
                      .folder = libraryFolder,
                      .versionInName = true});
    tree_.ExpandOneLevel(editor);
}

void TreeBuilder::AddServer() {
    TTreeNode* server = AddProduct(nullptr, "Corvalite Web Server", ComponentKind::Setup);
    const std::string serverLink = base_ + "/download/websrv.exe";
    const std::string& launcher = form_.ServerRunner->LauncherPath;
    if (!FileExists(launcher)) {
        FillNotFound(server, serverLink);
        tree_.ExpandOneLevel(server);
        return;
    }
    form_.ServerPath = launcher;
    reader_.GetVersion(launcher);
    FillFound(server, launcher, reader_,
              IsNewerVersion(LocalComparisonText(reader_), form_.Catalogue.RemoteServerVersion),
              serverLink);
    // Their versions are shown and compared with nothing.
    const std::string modules = ModulesFolder(launcher);
    scratch_.Clear();
    ListFiles(modules, ModulesMask(), scratch_);
    AddGroup(server, {.caption = "Modules",
                      .entries = form_.Catalogue.Modules,
                      .linkBase = base_ + "/download/utils/",
                      .folder = modules});
    const std::string utilities = UtilitiesFolder(launcher);
    scratch_.Clear();
    ListFiles(utilities, UtilitiesMask(), scratch_);
    AddGroup(server, {.caption = "Utils",
                      .entries = form_.Catalogue.Utils,
                      .linkBase = base_ + "/download/utils/",
                      .folder = utilities});
    tree_.ExpandOneLevel(server);
}

}  // namespace

void TForm1::RefreshComponentTree() {
    EditorPath.clear();
    ServerPath.clear();
    toolkit::TreeUpdateGuard suspended(*ProjectTree);
    EditorFound = false;
    TreeBuilder builder(*this, services_.downloadBase);
    ProjectTree->RemoveAll();
    FetchCatalogue(services_.engine, OwnerWindow{this}, places.listFolder, services_.catalogueBase,
                   Catalogue);
    builder.AddEditor();
    builder.AddServer();
}
