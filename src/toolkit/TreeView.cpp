#include "toolkit/TreeView.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QPainter>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "core/Errors.h"

namespace toolkit {

namespace {

constexpr int kHeaderHeight = 23;
constexpr int kRowHeight = 19;
constexpr int kIndent = 19;
constexpr int kTypeAheadMs = 1000;
constexpr int kHintHideMs = 2000;
#ifdef Q_OS_WIN
constexpr bool kFitsNames = true;
#else
constexpr bool kFitsNames = false;
#endif

int CommonPrefix(const QString& a, const QString& b) {
    const auto n = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (i < n && a[i] == b[i]) ++i;
    if (i > 0 && a[i - 1].isHighSurrogate()) --i;  // never split a character
    return static_cast<int>(i);
}

// Cuts `text` to `width` so that where it parts from its neighbours survives: the shared
// beginning is shortened first ("mod_sam…0092.dll" beside "mod_sam…0192.dll"). Without a
// shared beginning, or where what differs does not fit either (paths sharing only "C:\"), the
// middle goes, keeping a path's start and its file name rather than cutting both ends.
QString DistinctElided(const QString& text, const QString& before, const QString& after,
                       const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const int shared = std::max(CommonPrefix(text, before), CommonPrefix(text, after));
    if (shared == 0) return metrics.elidedText(text, Qt::ElideMiddle, width);
    const QString distinct = text.mid(shared);
    const int distinctWidth = metrics.horizontalAdvance(distinct);
    const QString ellipsis(QChar(0x2026));
    if (distinctWidth + metrics.horizontalAdvance(ellipsis) <= width)
        return metrics.elidedText(text.left(shared), Qt::ElideRight, width - distinctWidth) +
               distinct;
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

// Fixed row height, a vertical line at the right edge of every cell, and texts cut so that
// rows stay distinguishable.
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
    // The text drawn in a cell of the given rectangle.
    QString Shown(const QStyleOptionViewItem& option, const QModelIndex& index) const {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        return item.text;
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QWidget* view = option->widget;
        const QStyle* style = view ? view->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, option, view) + 1;
        const auto neighbour = [&](int offset) {
            return index.siblingAtRow(index.row() + offset).data(Qt::DisplayRole).toString();
        };
        option->text = DistinctElided(option->text, neighbour(-1), neighbour(1),
                                      option->fontMetrics, option->rect.width() - 2 * margin);
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
    if (index < 0 || index >= count_)
        throw core::EListError(core::Format(core::kListIndexError, index));
    if (index < kShownColumns)
        setText(index + 1, text);
    else
        hidden_[static_cast<std::size_t>(index - kShownColumns)] = text;
}

QString TTreeNode::ColumnText(int index) const {
    if (index < 0 || index >= count_)
        throw core::EListError(core::Format(core::kListIndexError, index));
    if (index < kShownColumns) return text(index + 1);
    return hidden_[static_cast<std::size_t>(index - kShownColumns)];
}

QStringList TTreeNode::ColumnTexts() const {
    QStringList texts;
    for (int i = 0; i < count_; ++i) texts << ColumnText(i);
    return texts;
}

TTreeView::TTreeView(QWidget* parent) : QTreeWidget(parent), fitsNames_(kFitsNames) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIndentation(kIndent);
    setUniformRowHeights(true);
    setAlternatingRowColors(false);  // both stripe colours are white
    // Long paths keep their beginning and their file name.
    setTextElideMode(Qt::ElideMiddle);
    setItemDelegate(new GridDelegate(this));
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
    designWidths_ = widths;
    baseWidths_ = widths;
    GrowColumns(0);
}

void TTreeView::GrowColumns(int extra) {
    extra_ = extra = std::max(0, extra);
    int growingTotal = 0;
    for (int column : growing_) growingTotal += baseWidths_.at(static_cast<std::size_t>(column));
    int given = 0;
    for (std::size_t i = 0; i < baseWidths_.size(); ++i) {
        int width = baseWidths_[i];
        const auto at = std::find(growing_.begin(), growing_.end(), static_cast<int>(i));
        if (at != growing_.end() && growingTotal > 0) {
            // The last growing column takes what rounding left over.
            const int share =
                at + 1 == growing_.end() ? extra - given : extra * baseWidths_[i] / growingTotal;
            given += share;
            width += share;
        }
        header()->resizeSection(static_cast<int>(i), width);
    }
}

QString TTreeView::ShownText(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return static_cast<const GridDelegate*>(itemDelegate())->Shown(option, index);
}

void TTreeView::SetFitsNames(bool fits) {
    fitsNames_ = fits;
    if (fits) {
        FitDesignedTexts();
    } else {
        baseWidths_ = designWidths_;
        GrowColumns(extra_);
    }
}

std::vector<int> TTreeView::ShownWidths() const {
    // Measured here rather than asked of the view: its column hint covers only the rows laid
    // out in the viewport at the moment, which before the first show, or scrolled, are few.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, this) + 1;
    const int columns = columnCount();
    std::vector<int> widest(static_cast<std::size_t>(columns), 0);
    // A caption needs its text and the header's margin on either side, which is where the
    // header draws it; the header's own hint asks a few pixels more than that.
    const QFontMetrics captions(header()->font(), header());
    const int captionMargin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header());
    for (int column = 0; column < columns; ++column)
        widest[static_cast<std::size_t>(column)] =
            captions.horizontalAdvance(headerItem()->text(column)) + 2 * captionMargin;
    // At the resolution of the screen the rows are drawn on; a cell with a font of its own
    // measures in that one.
    const QFontMetrics treeMetrics(font(), viewport());
    std::vector<std::pair<const QTreeWidgetItem*, int>> pending;  // a row and its depth
    const int topDepth = rootIsDecorated() ? 1 : 0;
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        pending.emplace_back(topLevelItem(i), topDepth);
    while (!pending.empty()) {
        const auto [item, depth] = pending.back();
        pending.pop_back();
        if (item->isHidden()) continue;
        for (int column = 0; column < columns; ++column) {
            const QVariant own = item->data(column, Qt::FontRole);
            const int advance =
                own.isValid() ? QFontMetrics(qvariant_cast<QFont>(own).resolve(font()), viewport())
                                    .horizontalAdvance(item->text(column))
                              : treeMetrics.horizontalAdvance(item->text(column));
            int width = advance + 2 * margin;
            if (column == 0) width += depth * indentation();
            if (!item->icon(column).isNull()) width += option.decorationSize.width() + 2 * margin;
            int& kept = widest[static_cast<std::size_t>(column)];
            kept = std::max(kept, width);
        }
        if (item->isExpanded())
            for (int i = item->childCount() - 1; i >= 0; --i)
                pending.emplace_back(item->child(i), depth + 1);
    }
    return widest;
}

void TTreeView::FitDesignedTexts() {
    // The components' names are our own texts and read whole; the locations beside them do
    // too where the short columns to their right have room to spare. What one column gains
    // another gives up, so the columns still add up to the designed total.
    const std::size_t columns = designWidths_.size();
    if (!fitsNames_ || columnCount() < 2 || columns < 2) return;
    const std::vector<int> need = ShownWidths();
    baseWidths_ = designWidths_;
    // Room the right-hand columns can give and still show their widest text, from the last.
    const auto spare = [&](int wanted) {
        int given = 0;
        for (std::size_t column = columns; column-- > 2 && given < wanted;) {
            int& width = baseWidths_[column];
            const int part = std::min(wanted - given, std::max(0, width - need.at(column)));
            width -= part;
            given += part;
        }
        return given;
    };
    // The names from the spare room first, then from the paths, down to half their width.
    const int names = std::max(0, need[0] - designWidths_[0]);
    const int fromSpare = spare(names);
    const int fromPaths = std::min(names - fromSpare, designWidths_[1] - designWidths_[1] / 2);
    baseWidths_[0] += fromSpare + fromPaths;
    baseWidths_[1] -= fromPaths;
    if (fromPaths == 0) baseWidths_[1] += spare(std::max(0, need[1] - baseWidths_[1]));
    GrowColumns(extra_);
}

void TTreeView::changeEvent(QEvent* event) {
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        FitDesignedTexts();
}

void TTreeView::showEvent(QShowEvent* event) {
    QTreeWidget::showEvent(event);
    // Shown, the tree has its window's screen and so the resolution its texts are drawn at;
    // moved to another screen, they measure anew.
    if (QWindow* shownIn = window()->windowHandle()) {
        disconnect(screenWatch_);
        screenWatch_ =
            connect(shownIn, &QWindow::screenChanged, this, [this] { FitDesignedTexts(); });
    }
    FitDesignedTexts();
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
    if (index.isValid() && !text.isEmpty() && ShownText(index) != text)
        QToolTip::showText(help->globalPos(), text, viewport(), cell, kHintHideMs);
    else
        QToolTip::hideText();
    return true;
}

void TTreeView::focusInEvent(QFocusEvent* event) {
    if (!currentIndex().isValid() && event->reason() != Qt::MouseFocusReason && model() &&
        model()->rowCount() > 0)
        selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
    QTreeWidget::focusInEvent(event);
}

void TTreeView::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    if (!hasFocus() || currentIndex().isValid()) return;
    // A thin dotted frame: a style's focus rectangle may fill the whole area.
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.drawRect(viewport()->rect().adjusted(1, 1, -2, -2));
}

}  // namespace toolkit
