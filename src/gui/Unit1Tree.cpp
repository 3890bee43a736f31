#include <QString>
#include <memory>
#include <vector>

#include "core/TreeRows.h"
#include "core/srunner.h"
#include "gui/ComponentRow.h"
#include "gui/Unit1.h"

namespace {

using toolkit::TTreeNode;

void FillTexts(TTreeNode& node, const TreeRow& row) {
    for (const std::string* text : {&row.location, &row.version, &row.build, &row.state})
        node.AppendColumnText(QString::fromUtf8(*text));
    SetKind(node, row.kind);
    // A group row has no link column: reading it is the list's index error, as it always was.
    if (row.kind != ComponentKind::Group) node.AppendColumnText(QString::fromUtf8(row.link));
    if (row.mark != NeedsUpdate::Unmarked) SetMark(node, row.mark);
}

// Puts the rows into the tree. A group is built outside the tree with its entries and added
// in one step: inside it every text set would cost a view update and every row added the
// tree's bookkeeping. Products are expanded one level, as the window has always shown them.
class TreeFiller {
  public:
    explicit TreeFiller(toolkit::TTreeView& tree) : tree_(tree) {}
    ~TreeFiller() { Close(0); }
    TreeFiller(const TreeFiller&) = delete;
    TreeFiller& operator=(const TreeFiller&) = delete;

    void Add(const TreeRow& row) {
        Close(row.depth);
        TTreeNode* parent = open_.empty() ? nullptr : open_.back().node;
        if (row.kind == ComponentKind::Group) {
            auto group = toolkit::TTreeView::NewNode(QString::fromUtf8(row.name));
            FillTexts(*group, row);
            TTreeNode* node = group.get();
            open_.push_back({node, parent, std::move(group)});
            return;
        }
        if (pendingGroup()) {
            auto entry = toolkit::TTreeView::NewNode(QString::fromUtf8(row.name));
            FillTexts(*entry, row);
            tree_.AddChild(parent, std::move(entry));
            return;
        }
        TTreeNode* node = tree_.AddChild(parent, QString::fromUtf8(row.name));
        FillTexts(*node, row);
        open_.push_back({node, parent, nullptr});
    }

  private:
    struct Open {
        TTreeNode* node;
        TTreeNode* parent;
        std::unique_ptr<TTreeNode> pending;  // a group not yet in the tree
    };
    bool pendingGroup() const { return !open_.empty() && open_.back().pending; }
    // Ends every open row at `depth` or deeper.
    void Close(int depth) {
        while (static_cast<int>(open_.size()) > depth) {
            Open last = std::move(open_.back());
            open_.pop_back();
            if (last.pending) tree_.AddChild(last.parent, std::move(last.pending));
            if (!last.parent) tree_.ExpandOneLevel(last.node);
        }
    }

    toolkit::TTreeView& tree_;
    std::vector<Open> open_;
};

}  // namespace

void TForm1::RefreshComponentTree() {
    EditorPath.clear();
    ServerPath.clear();
    toolkit::TreeUpdateGuard suspended(*ProjectTree);
    EditorFound = false;
    ProjectTree->RemoveAll();
    FetchCatalogue(services_.engine, OwnerWindow{this}, places.listFolder, services_.catalogueBase,
                   Catalogue);
    TreeRows found;
    // What was found before an error is shown all the same.
    const auto show = [&] {
        EditorPath = found.editorPath;
        EditorFound = !EditorPath.empty();
        ServerPath = found.serverPath;
        TreeFiller filler(*ProjectTree);
        for (const TreeRow& row : found.rows) filler.Add(row);
    };
    try {
        BuildTreeRows(Catalogue, services_.registry, ServerRunner->LauncherPath,
                      services_.downloadBase, found);
    } catch (...) {
        show();
        throw;
    }
    show();
}
