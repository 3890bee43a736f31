#include "core/TreeRows.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/TextList.h"
#include "core/TextUtils.h"
#include "core/Unit1Inventory.h"
#include "core/verinfo.h"

namespace {

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

void FillFound(TreeRow& row, const std::string& path, const TrsFileVersion& reader, bool obsolete,
               const std::string& link) {
    row.location = path;
    row.version = reader.VersionText;
    row.build = std::to_string(reader.Build);
    row.state = obsolete ? "Obsolete" : "Up to date";
    row.link = link;
    row.mark = obsolete ? NeedsUpdate::Yes : NeedsUpdate::No;
}

void FillNotFound(TreeRow& row, const std::string& link) {
    row.state = "Not found";
    row.link = link;
    row.mark = NeedsUpdate::Yes;
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

// Builds the rows of one refresh. The reader and the scratch list live for the refresh.
class RowBuilder {
  public:
    RowBuilder(const TCatalogue& catalogue, const std::string& base, TreeRows& out)
        : catalogue_(catalogue), base_(base), out_(out) {}

    void AddEditor(platform::RegistryHive& hive);
    void AddServer(const std::string& launcher);

  private:
    TreeRow& Add(int depth, std::string name, ComponentKind kind) {
        TreeRow& row = out_.rows.emplace_back();
        row.depth = depth;
        row.name = std::move(name);
        row.kind = kind;
        return row;
    }
    void AddGroup(int depth, const EntryGroup& group);

    const TCatalogue& catalogue_;
    const std::string& base_;
    TreeRows& out_;
    TrsFileVersion reader_;
    core::TStringList scratch_;  // the names found on disk for the current group
};

void RowBuilder::AddGroup(int depth, const EntryGroup& group) {
    const std::size_t groupIndex = out_.rows.size();
    Add(depth, group.caption, ComponentKind::Group);
    NameSet found;
    found.Assign(scratch_);
    int present = 0;
    for (const auto& entry : group.entries.Items()) {
        const std::string name = group.nameOf(entry);
        TreeRow& row = Add(depth + 1, name, group.kind);
        const std::string link = group.linkBase + entry;
        const std::string* onDisk = found.Find(name);
        if (!onDisk) {
            FillNotFound(row, link);
            continue;
        }
        row.location = group.folder + PathDelim + *onDisk;
        if (group.versionInName) {
            row.version = AfterFirstDash(entry);
            row.build.assign(1, '0');  // not = "0": GCC 12 at -O3 sees a false overlap
        } else {
            reader_.GetVersion(row.location);
            row.version = reader_.VersionText;
            row.build = std::to_string(reader_.Build);
        }
        row.state = group.presentState;
        row.link = link;
        row.mark = NeedsUpdate::No;
        ++present;
    }
    out_.rows[groupIndex].state = std::to_string(present) + " present, " +
                                  std::to_string(group.entries.Count()) + " available";
}

void RowBuilder::AddEditor(platform::RegistryHive& hive) {
    const std::string editorPath = GetEditorPath(hive);
    const std::string editorLink = base_ + "/download/php_editor_php5.exe";
    {
        TreeRow& editor = Add(0, "Corvalite Editor for PHP", ComponentKind::Setup);
        if (editorPath.empty()) {
            FillNotFound(editor, editorLink);
        } else {
            reader_.GetVersion(editorPath);
            FillFound(editor, editorPath, reader_,
                      IsNewerVersion(LocalComparisonText(reader_), catalogue_.RemoteEditorVersion),
                      editorLink);
            out_.editorPath = editorPath;
        }
    }
    const bool editorFound = !editorPath.empty();
    if (editorFound) {
        TreeRow& listener = Add(1, "Debugger listener", ComponentKind::File);
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
    if (editorFound) ListSubfolders(phpFolder, scratch_);
    AddGroup(1, {.caption = "PHP",
                 .entries = catalogue_.PHP,
                 .linkBase = base_ + "/download/php/",
                 .folder = phpFolder,
                 .nameOf = PhpDisplayName,
                 .kind = ComponentKind::Setup,
                 .presentState = "Present"});

    const std::string libraryFolder = DebuggerLibraryFolder(editorPath);
    scratch_.Clear();
    if (editorFound) ListFiles(libraryFolder, DebuggerLibraryMask(), scratch_);
    AddGroup(1, {.caption = "Debugger",
                 .entries = catalogue_.Debugger,
                 .linkBase = base_ + "/download/php/",
                 .folder = libraryFolder,
                 .versionInName = true});
}

void RowBuilder::AddServer(const std::string& launcher) {
    const std::string serverLink = base_ + "/download/websrv.exe";
    {
        TreeRow& server = Add(0, "Corvalite Web Server", ComponentKind::Setup);
        if (!FileExists(launcher)) {
            FillNotFound(server, serverLink);
            return;
        }
        out_.serverPath = launcher;
        reader_.GetVersion(launcher);
        FillFound(server, launcher, reader_,
                  IsNewerVersion(LocalComparisonText(reader_), catalogue_.RemoteServerVersion),
                  serverLink);
    }
    // Their versions are shown and compared with nothing.
    const std::string modules = ModulesFolder(launcher);
    scratch_.Clear();
    ListFiles(modules, ModulesMask(), scratch_);
    AddGroup(1, {.caption = "Modules",
                 .entries = catalogue_.Modules,
                 .linkBase = base_ + "/download/utils/",
                 .folder = modules});
    const std::string utilities = UtilitiesFolder(launcher);
    scratch_.Clear();
    ListFiles(utilities, UtilitiesMask(), scratch_);
    AddGroup(1, {.caption = "Utils",
                 .entries = catalogue_.Utils,
                 .linkBase = base_ + "/download/utils/",
                 .folder = utilities});
}

}  // namespace

void BuildTreeRows(const TCatalogue& catalogue, platform::RegistryHive& hive,
                   const std::string& launcherPath, const std::string& downloadBase,
                   TreeRows& out) {
    RowBuilder builder(catalogue, downloadBase, out);
    builder.AddEditor(hive);
    builder.AddServer(launcherPath);
}
