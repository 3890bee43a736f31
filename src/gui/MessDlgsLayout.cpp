#include "gui/MessDlgsLayout.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace messdlgs {

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const std::int64_t product = std::int64_t{number} * numerator;
    const std::int64_t absProduct = product < 0 ? -product : product;
    const std::int64_t absDenominator = denominator < 0 ? -std::int64_t{denominator} : denominator;
    std::int64_t quotient = (absProduct + absDenominator / 2) / absDenominator;
    if ((product < 0) != (denominator < 0)) quotient = -quotient;
    if (quotient > std::numeric_limits<int>::max() || quotient < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(quotient);
}

DialogMetrics ScaleDialogUnits(int charWidth, int charHeight) {
    return DialogMetrics{
        .horzMargin = MulDiv(8, charWidth, 4),
        .vertMargin = MulDiv(8, charHeight, 8),
        .horzSpacing = MulDiv(10, charWidth, 4),
        .vertSpacing = MulDiv(10, charHeight, 8),
        .buttonWidth = MulDiv(50, charWidth, 4),
        .buttonHeight = MulDiv(14, charHeight, 8),
        .buttonSpacing = MulDiv(4, charWidth, 4),
    };
}

namespace {

int ButtonGroupWidth(const DialogMetrics& m, int count) {
    if (count <= 0) return 0;
    return count * m.buttonWidth + (count - 1) * m.buttonSpacing;
}

}  // namespace

DialogGeometry LayOutMessageDialog(const LayoutRequest& request) {
    DialogGeometry g;
    const DialogMetrics& m = g.metrics = ScaleDialogUnits(request.charWidth, request.charHeight);

    int iconTextWidth = request.textWidth;
    int iconTextHeight = request.textHeight;
    if (request.hasIcon) {
        iconTextWidth = request.textWidth + m.horzSpacing + kIconSize;
        iconTextHeight = std::max(request.textHeight, kIconSize);
        g.icon = Rect{m.horzMargin, m.vertMargin, kIconSize, kIconSize};
    }
    const int groupWidth = ButtonGroupWidth(m, request.buttonCount);

    // The button row and the gap above it are reserved even without buttons.
    g.clientWidth = std::max(iconTextWidth, groupWidth) + 2 * m.horzMargin;
    g.clientHeight = iconTextHeight + m.vertSpacing + m.buttonHeight + 2 * m.vertMargin;

    g.message = Rect{iconTextWidth - request.textWidth + m.horzMargin, m.vertMargin,
                     request.textWidth, request.textHeight};

    int x = (g.clientWidth - groupWidth) / 2;
    const int y = iconTextHeight + m.vertMargin + m.vertSpacing;
    for (int i = 0; i < request.buttonCount; ++i) {
        g.buttons.push_back(Rect{x, y, m.buttonWidth, m.buttonHeight});
        x += m.buttonWidth + m.buttonSpacing;
    }
    return g;
}

Point CentreOnScreen(int screenWidth, int screenHeight, int outerWidth, int outerHeight) {
    return Point{screenWidth / 2 - outerWidth / 2, screenHeight / 2 - outerHeight / 2};
}

}  // namespace messdlgs
