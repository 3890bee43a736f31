#pragma once
// The message dialog's geometry as plain arithmetic: font metrics and the measured text in,
// client size and control rectangles out. Kept free of Qt so it is checked to the pixel.
#include <optional>
#include <vector>

namespace messdlgs {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// number * numerator / denominator rounded to the nearest integer, halves away from zero;
// -1 for a zero denominator or a result outside int, as the Windows function answers.
int MulDiv(int number, int numerator, int denominator);

// Dialog units (a quarter of the average character width, an eighth of its height) in pixels.
struct DialogMetrics {
    int horzMargin = 0;
    int vertMargin = 0;
    int horzSpacing = 0;
    int vertSpacing = 0;
    int buttonWidth = 0;
    int buttonHeight = 0;
    int buttonSpacing = 0;
    bool operator==(const DialogMetrics&) const = default;
};
DialogMetrics ScaleDialogUnits(int charWidth, int charHeight);

inline constexpr int kIconSize = 32;

struct LayoutRequest {
    int charWidth = 0;   // extent of the 52 letters divided by 52
    int charHeight = 0;  // extent height
    int textWidth = 0;   // word-wrapped message, widest line
    int textHeight = 0;  // word-wrapped message, all lines
    bool hasIcon = false;
    int buttonCount = 0;
};

struct DialogGeometry {
    DialogMetrics metrics;
    int clientWidth = 0;
    int clientHeight = 0;
    std::optional<Rect> icon;
    Rect message;
    std::vector<Rect> buttons;  // left to right
};
DialogGeometry LayOutMessageDialog(const LayoutRequest& request);

// Top-left corner that centres a window of the given outer size on the screen.
Point CentreOnScreen(int screenWidth, int screenHeight, int outerWidth, int outerHeight);

// A requested edge of 0 or more wins; a negative one keeps the centred coordinate.
constexpr int PlaceEdge(int centred, int requested) {
    return requested >= 0 ? requested : centred;
}

}  // namespace messdlgs
