#include "toolkit/TreeView.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

#include "core/Errors.h"

namespace toolkit {

namespace {

constexpr int kHeaderHeight = 23;
constexpr int kRowHeight = 19;
constexpr int kIndent = 19;
constexpr int kTypeAheadMs = 1000;
constexpr int kHintHideMs = 2000;

// Fixed row height and a vertical line at the right edge of every cell.
class GridDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid).lighter(140));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

}  // namespace

TTreeNode::TTreeNode(const QString& text) : QTreeWidgetItem(QStringList{text}) {}

void TTreeNode::AppendColumnText(const QString& text) {
    if (count_ < kShownColumns)
        setText(count_ + 1, text);
    else
        hidden_.push_back(text);
    ++count_;
}

void TTreeNode::SetColumnText(int index, const QString& text) {
    if (index < 0 || index >= count_) throw EListError(Format(kListIndexError, index));
    if (index < kShownColumns)
        setText(index + 1, text);
    else
        hidden_[static_cast<std::size_t>(index - kShownColumns)] = text;
}

QString TTreeNode::ColumnText(int index) const {
    if (index < 0 || index >= count_) throw EListError(Format(kListIndexError, index));
    if (index < kShownColumns) return text(index + 1);
    return hidden_[static_cast<std::size_t>(index - kShownColumns)];
}

QStringList TTreeNode::ColumnTexts() const {
    QStringList texts;
    for (int i = 0; i < count_; ++i) texts << ColumnText(i);
    return texts;
}

TTreeView::TTreeView(QWidget* parent) : QTreeWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIndentation(kIndent);
    setUniformRowHeights(true);
    setItemDelegate(new GridDelegate(this));
    setAlternatingRowColors(false);  // both stripe colours are white
    // Long paths keep their beginning and their file name.
    setTextElideMode(Qt::ElideMiddle);
    header()->setFixedHeight(kHeaderHeight);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    // Rows shown by expanding may need the names' column wider too.
    connect(this, &QTreeView::expanded, this, [this] { FitDesignedTexts(); });
    // The type-ahead search's timeout is the application's keyboard interval.
    QApplication::setKeyboardInputInterval(kTypeAheadMs);
}

void TTreeView::SetColumns(const QStringList& captions, const std::vector<int>& widths) {
    setColumnCount(static_cast<int>(captions.size()));
    setHeaderLabels(captions);
    for (std::size_t i = 0; i < widths.size(); ++i)
        header()->resizeSection(static_cast<int>(i), widths[i]);
    designedWidths_ = widths;
}

void TTreeView::FitDesignedTexts() {
#ifdef Q_OS_WIN
    // The components' names are our own texts; the paths beside them elide by design, so that
    // column gives up what the names need and the columns still add up to the designed total.
    if (columnCount() < 2 || designedWidths_.size() < 2) return;
    const int extra = std::max(0, sizeHintForColumn(0) - designedWidths_[0]);
    header()->resizeSection(0, designedWidths_[0] + extra);
    header()->resizeSection(1, std::max(designedWidths_[1] / 2, designedWidths_[1] - extra));
#endif
}

TTreeNode* TTreeView::AddChild(TTreeNode* parent, const QString& text) {
    return AddChild(parent, NewNode(text));
}

TTreeNode* TTreeView::AddChild(TTreeNode* parent, std::unique_ptr<TTreeNode> node) {
    TTreeNode* const added = node.release();  // owned by the tree from here on
    if (parent)
        parent->addChild(added);
    else
        addTopLevelItem(added);
    return added;
}

std::unique_ptr<TTreeNode> TTreeView::NewNode(const QString& text) {
    return std::make_unique<TTreeNode>(text);
}

void TTreeView::RemoveAll() {
    clear();
    setCurrentItem(nullptr);
}

TTreeNode* TTreeView::Selected() const {
    const auto items = selectedItems();
    return items.isEmpty() ? nullptr : static_cast<TTreeNode*>(items.first());
}

void TTreeView::BeginUpdate() {
    if (updateCount_++ == 0) setUpdatesEnabled(false);
}

void TTreeView::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) {
        FitDesignedTexts();
        setUpdatesEnabled(true);
    }
}

bool TTreeView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QTreeWidget::viewportEvent(event);
    // A hint only for a cell whose text does not fit, gone after two seconds.
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QRect cell = visualRect(index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const int needed = fontMetrics().horizontalAdvance(text) + 8;
    if (index.isValid() && !text.isEmpty() && needed > cell.width())
        QToolTip::showText(help->globalPos(), text, viewport(), cell, kHintHideMs);
    else
        QToolTip::hideText();
    return true;
}

}  // namespace toolkit
