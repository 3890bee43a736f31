#include "toolkit/StatusBar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <map>

#include "toolkit/Images.h"

namespace toolkit {

namespace {
constexpr int kImageSize = 16;
constexpr int kPadding = 3;

// One panel as a screen reader reads it: its caption is its name.
class PanelAccessible : public QAccessibleInterface {
  public:
    PanelAccessible(TStatusBar* bar, int panel) : bar_(bar), panel_(panel) {}
    bool isValid() const override { return bar_ != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(bar_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return bar_ && t == QAccessible::Name ? bar_->Caption(panel_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!bar_) return {};
        const QRect local = bar_->PanelRect(panel_);
        return QRect(bar_->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.readOnly = true;
        s.invisible = !bar_ || !bar_->isVisible();
        return s;
    }

  private:
    QPointer<TStatusBar> bar_;
    const int panel_;
};

// The bar is a status bar whose children are the panels that have something to say.
class StatusBarAccessible : public QAccessibleWidget {
  public:
    explicit StatusBarAccessible(TStatusBar* bar)
        : QAccessibleWidget(bar, QAccessible::StatusBar) {}
    ~StatusBarAccessible() override {
        for (const auto& [panel, id] : ids_) QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return static_cast<int>(shownPanels().size()); }
    QAccessibleInterface* child(int index) const override {
        const std::vector<int> shown = shownPanels();
        if (index < 0 || index >= static_cast<int>(shown.size())) return nullptr;
        return panelInterface(shown[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child) return i;
        return -1;
    }

  private:
    TStatusBar* bar() const { return static_cast<TStatusBar*>(widget()); }
    std::vector<int> shownPanels() const {
        std::vector<int> shown;
        for (int panel = 0; panel < bar()->PanelCount(); ++panel)
            if (!bar()->Caption(panel).isEmpty()) shown.push_back(panel);
        return shown;
    }
    // One interface per panel for the bar's lifetime, so a reader keeps its place.
    QAccessibleInterface* panelInterface(int panel) const {
        auto found = ids_.find(panel);
        if (found == ids_.end()) {
            auto* created = new PanelAccessible(bar(), panel);  // owned by QAccessible's cache
            found = ids_.emplace(panel, QAccessible::registerAccessibleInterface(created)).first;
        }
        return QAccessible::accessibleInterface(found->second);
    }
    mutable std::map<int, QAccessible::Id> ids_;
};

QAccessibleInterface* statusBarAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(TStatusBar::staticMetaObject.className())) return nullptr;
    return new StatusBarAccessible(static_cast<TStatusBar*>(object));
}
}  // namespace

TImageList::TImageList() : icons_{QIcon(images::kOnline), QIcon(images::kOffline)} {}

QIcon TImageList::Icon(int index) const {
    if (index < 0 || index >= Count()) return {};
    return icons_[static_cast<std::size_t>(index)];
}

TStatusBar::TStatusBar(const TImageList& images, const std::vector<int>& panelWidths,
                       QWidget* parent)
    : QWidget(parent), images_(images) {
    static const bool accessibleInstalled =
        (QAccessible::installFactory(&statusBarAccessible), true);
    (void)accessibleInstalled;
    for (int width : panelWidths) panels_.push_back({width, {}, -1});
    setAccessibleName("Status");
    UpdateAccessibleText();
}

void TStatusBar::SetCaption(int panel, const QString& caption) {
    auto& p = panels_.at(static_cast<std::size_t>(panel));
    if (p.caption == caption) return;
    const bool shownBefore = !p.caption.isEmpty();
    p.caption = caption;
    UpdateAccessibleText();
    AnnounceCaption(panel, shownBefore);
    update();
}

QRect TStatusBar::PanelRect(int panel) const {
    int x = 0;
    for (int i = 0; i < panel; ++i) x += panels_.at(static_cast<std::size_t>(i)).width;
    return QRect(x, 0, panels_.at(static_cast<std::size_t>(panel)).width, height());
}

void TStatusBar::AnnounceCaption(int panel, bool shownBefore) {
    if (!QAccessible::isActive()) return;  // nobody listens; keep start-up free of it
    const bool shown = !Caption(panel).isEmpty();
    if (shown != shownBefore) {
        QAccessibleEvent reorder(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
    }
    if (!shown) return;
    int child = 0;
    for (int i = 0; i < panel; ++i) child += Caption(i).isEmpty() ? 0 : 1;
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    changed.setChild(child);
    QAccessible::updateAccessibility(&changed);
}

void TStatusBar::SetImageIndex(int panel, int image) {
    auto& p = panels_.at(static_cast<std::size_t>(panel));
    if (p.image == image) return;
    p.image = image;
    update();
}

void TStatusBar::UpdateAccessibleText() {
    QStringList captions;
    for (const auto& p : panels_)
        if (!p.caption.isEmpty()) captions << p.caption;
    setAccessibleDescription(captions.join(", "));
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    int x = 0;
    for (const auto& p : panels_) {
        const QRect frame(x, 1, p.width - 2, height() - 2);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(frame.topLeft(), frame.topRight());
        painter.drawLine(frame.topLeft(), frame.bottomLeft());
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(frame.bottomLeft(), frame.bottomRight());
        painter.drawLine(frame.topRight(), frame.bottomRight());
        int textLeft = frame.left() + kPadding;
        if (p.image >= 0) {
            const int top = frame.top() + (frame.height() - kImageSize) / 2;
            images_.Icon(p.image).paint(&painter, textLeft, top, kImageSize, kImageSize);
            textLeft += kImageSize + kPadding;
        }
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect textRect(textLeft, frame.top(), frame.right() - textLeft - kPadding,
                             frame.height());
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(p.caption, Qt::ElideRight, textRect.width()));
        x += p.width;
    }
}

}  // namespace toolkit
