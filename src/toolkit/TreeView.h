#pragma once
// The multi-column tree control in the vocabulary the main window uses: rows carry a text,
// a tag, an image index (-1 by default, never drawn) and a list of column texts, of which
// the first four are shown in the columns after the tree column.
#include <QMetaObject>
#include <QStringList>
#include <QTreeWidget>
#include <memory>
#include <vector>

namespace toolkit {

class TTreeNode : public QTreeWidgetItem {
  public:
    explicit TTreeNode(const QString& text);

    QString Text() const { return text(0); }
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index) { imageIndex_ = index; }

    int ColumnTextCount() const { return count_; }
    void AppendColumnText(const QString& text);
    void SetColumnText(int index, const QString& text);
    // Raises EListError "Der Index der Liste überschreitet das Maximum (%d)" past the end.
    QString ColumnText(int index) const;
    QStringList ColumnTexts() const;

    TTreeNode* Parent() const { return static_cast<TTreeNode*>(parent()); }
    TTreeNode* Child(int index) const { return static_cast<TTreeNode*>(child(index)); }
    int ChildCount() const { return childCount(); }

  private:
    static constexpr int kShownColumns = 4;
    int tag_ = 0;
    int imageIndex_ = -1;
    int count_ = 0;
    std::vector<QString> hidden_;  // column texts past the shown ones (the link)
};

class TTreeView : public QTreeWidget {
    Q_OBJECT
  public:
    explicit TTreeView(QWidget* parent = nullptr);

    // The header's captions and design widths; the first column holds the rows' own texts.
    void SetColumns(const QStringList& captions, const std::vector<int>& widths);
    // Columns that share room beyond the design size, in proportion to their design widths.
    void SetGrowingColumns(std::vector<int> columns) { growing_ = std::move(columns); }
    // The design widths plus `extra` pixels shared among the growing columns.
    void GrowColumns(int extra);
    // A cell's text as drawn: where it does not fit, cut so that the part in which it differs
    // from the rows beside it stays readable. The whole text remains the cell's data, its
    // hint and its accessible name.
    QString ShownText(const QModelIndex& index) const;

    TTreeNode* AddChild(TTreeNode* parent, const QString& text);
    // A row outside the tree: filling it, and the rows added below it, there costs no view
    // update per text. AddChild then places it with everything below it in one step.
    static std::unique_ptr<TTreeNode> NewNode(const QString& text);
    TTreeNode* AddChild(TTreeNode* parent, std::unique_ptr<TTreeNode> node);
    void RemoveAll();
    // Its direct children become visible; theirs keep their state.
    void ExpandOneLevel(TTreeNode* node) { node->setExpanded(true); }
    TTreeNode* Selected() const;
    int TopLevelCount() const { return topLevelItemCount(); }
    TTreeNode* TopLevel(int index) const { return static_cast<TTreeNode*>(topLevelItem(index)); }

    // Whether the names' column grows to what its shown rows' texts need; on by default where
    // Windows draws our texts wider than the design measured them.
    void SetFitsNames(bool fits);
    bool FitsNames() const { return fitsNames_; }

    // Counted: nested suspends need as many resumes; the tree repaints once at zero.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

  protected:
    bool viewportEvent(QEvent* event) override;
    // With no current row, tabbing in makes the first row current (not selected), so focus
    // shows; an empty tree marks its focus around the rows' area.
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // Windows draws our texts a little wider than the design measured them (its own hinted
    // widths and item margins): the names' and the locations' columns grow to what they need
    // there, from the room the other columns can spare.
    void FitDesignedTexts();
    // Each column's width every row shown when expanded so far needs, whether laid out in the
    // viewport or not, and its caption, at the tree's font on its screen now.
    std::vector<int> ShownWidths() const;
    bool fitsNames_;
    QMetaObject::Connection screenWatch_;
    int updateCount_ = 0;
    std::vector<int> designWidths_;
    std::vector<int> baseWidths_;  // the design's, with what Windows' names need
    std::vector<int> growing_;
    int extra_ = 0;
};

// Suspends a tree's repainting for a scope, resuming on every way out.
class TreeUpdateGuard {
  public:
    explicit TreeUpdateGuard(TTreeView& tree) : tree_(tree) { tree_.BeginUpdate(); }
    ~TreeUpdateGuard() { tree_.EndUpdate(); }
    TreeUpdateGuard(const TreeUpdateGuard&) = delete;
    TreeUpdateGuard& operator=(const TreeUpdateGuard&) = delete;

  private:
    TTreeView& tree_;
};

}  // namespace toolkit
