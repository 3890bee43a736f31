#pragma once
// The rows of the component tree and their texts, built from the catalogue and what lies on
// disk. The window's tree shows them; the unattended mode prints and acts on the same rows.
#include <string>
#include <vector>

#include "core/Unit1Catalogue.h"
#include "platform/Registry.h"

// The row's tag in the tree.
enum class ComponentKind : int {
    Group = 0,  // a heading with a summary; nothing to download
    File = 1,   // the downloaded file is moved into the product's folder
    Setup = 2,  // the downloaded file is a program that is run
};

// The row's image index in the tree; never drawn, it only carries the mark.
enum class NeedsUpdate : int {
    Unmarked = -1,  // group rows keep the control's default
    No = 0,         // present and current
    Yes = 1,        // missing or out of date
};

struct TreeRow {
    int depth = 0;  // 0 for a product, 1 below it, 2 for a group's entries
    ComponentKind kind = ComponentKind::Group;
    NeedsUpdate mark = NeedsUpdate::Unmarked;
    std::string name;  // the component column
    std::string location;
    std::string version;
    std::string build;
    std::string state;
    std::string link;  // the download link, which no column shows

    bool OffersDownload() const {
        return kind == ComponentKind::File || kind == ComponentKind::Setup;
    }
};

// What a refresh found besides its rows: the products' paths the install commands act on.
struct TreeRows {
    std::vector<TreeRow> rows;  // in the tree's order, parents before their children
    std::string editorPath;     // empty when the editor was not found
    std::string serverPath;     // the launcher; empty when it was not found
};

// Appends to `out` as it goes, so the rows built before an error remain there.
void BuildTreeRows(const TCatalogue& catalogue, platform::RegistryHive& hive,
                   const std::string& launcherPath, const std::string& downloadBase, TreeRows& out);
