#include "toolkit/StatusBar.h"

#include <QPainter>
#include <QStyleOption>

#include "toolkit/Images.h"

namespace toolkit {

namespace {
constexpr int kImageSize = 16;
constexpr int kPadding = 3;
}  // namespace

TImageList::TImageList()
    : icons_{QIcon(images::kOnline), QIcon(images::kOffline)} {}

QIcon TImageList::Icon(int index) const {
    if (index < 0 || index >= Count()) return {};
    return icons_[static_cast<std::size_t>(index)];
}

TStatusBar::TStatusBar(const TImageList& images, const std::vector<int>& panelWidths,
                       QWidget* parent)
    : QWidget(parent), images_(images) {
    for (int width : panelWidths) panels_.push_back({width, {}, -1});
    setAccessibleName("Status");
    UpdateAccessibleText();
}

void TStatusBar::SetCaption(int panel, const QString& caption) {
    auto& p = panels_.at(static_cast<std::size_t>(panel));
    if (p.caption == caption) return;
    p.caption = caption;
    UpdateAccessibleText();
    update();
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
