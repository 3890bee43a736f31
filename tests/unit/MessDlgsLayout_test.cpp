#include "gui/MessDlgsLayout.h"

#include <gtest/gtest.h>

#include <climits>

using namespace messdlgs;

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(10, 13, 8), 16);  // 16.25
    EXPECT_EQ(MulDiv(14, 13, 8), 23);  // 22.75
    EXPECT_EQ(MulDiv(1, 1, 2), 1);     // 0.5
    EXPECT_EQ(MulDiv(8, 7, 16), 4);    // 3.5
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(1, 1, -2), -1);
    EXPECT_EQ(MulDiv(-7, 3, -2), 11);  // 10.5
}

TEST(MulDiv, ZeroDenominatorAndOverflowGiveMinusOne) {
    EXPECT_EQ(MulDiv(3, 5, 0), -1);
    EXPECT_EQ(MulDiv(INT_MAX, 4, 1), -1);
    // The intermediate product may exceed int as long as the result fits.
    EXPECT_EQ(MulDiv(INT_MAX, 4, 8), 1073741824);
}

TEST(ScaleDialogUnits, WorkedExampleMetrics) {
    EXPECT_EQ(ScaleDialogUnits(6, 13), (DialogMetrics{12, 13, 15, 16, 75, 23, 6}));
    // Odd character sizes exercise every rounding: 7*8/4=14, 15*8/8=15, 70/4=17.5 -> 18,
    // 150/8=18.75 -> 19, 350/4=87.5 -> 88, 210/8=26.25 -> 26, 28/4=7.
    EXPECT_EQ(ScaleDialogUnits(7, 15), (DialogMetrics{14, 15, 18, 19, 88, 26, 7}));
}

TEST(LayOutMessageDialog, ReproducesTheWorkedExample) {
    const DialogGeometry g = LayOutMessageDialog({6, 13, 200, 26, true, 2});
    EXPECT_EQ(g.clientWidth, 271);
    EXPECT_EQ(g.clientHeight, 97);
    ASSERT_TRUE(g.icon.has_value());
    EXPECT_EQ(*g.icon, (Rect{12, 13, 32, 32}));
    EXPECT_EQ(g.message, (Rect{59, 13, 200, 26}));
    ASSERT_EQ(g.buttons.size(), 2u);
    EXPECT_EQ(g.buttons[0], (Rect{57, 61, 75, 23}));
    EXPECT_EQ(g.buttons[1], (Rect{138, 61, 75, 23}));
}

TEST(LayOutMessageDialog, WithoutIconTextStartsAtMarginAndKeepsItsHeight) {
    const DialogGeometry g = LayOutMessageDialog({6, 13, 200, 13, false, 1});
    EXPECT_FALSE(g.icon.has_value());
    EXPECT_EQ(g.message, (Rect{12, 13, 200, 13}));
    EXPECT_EQ(g.clientWidth, 224);
    EXPECT_EQ(g.clientHeight, 13 + 16 + 23 + 26);
    EXPECT_EQ(g.buttons.at(0), (Rect{74, 42, 75, 23}));  // (224 - 75) / 2 truncated
}

TEST(LayOutMessageDialog, TextTallerThanIconSetsTheBlockHeight) {
    const DialogGeometry g = LayOutMessageDialog({6, 13, 300, 65, true, 1});
    EXPECT_EQ(g.clientHeight, 65 + 16 + 23 + 26);
    EXPECT_EQ(g.buttons.at(0).top, 65 + 13 + 16);
}

TEST(LayOutMessageDialog, ButtonRowGovernsWidthOfShortMessages) {
    // Three buttons: 3*75 + 2*6 = 237 against a text block of 47 + 20 = 67.
    const DialogGeometry g = LayOutMessageDialog({6, 13, 20, 13, true, 3});
    EXPECT_EQ(g.clientWidth, 237 + 24);
    EXPECT_EQ(g.message, (Rect{59, 13, 20, 13}));
    ASSERT_EQ(g.buttons.size(), 3u);
    EXPECT_EQ(g.buttons[0].left, 12);
    EXPECT_EQ(g.buttons[2].left + g.buttons[2].width, g.clientWidth - 12);
}

TEST(LayOutMessageDialog, EmptySetStillReservesTheButtonRow) {
    const DialogGeometry g = LayOutMessageDialog({6, 13, 200, 26, true, 0});
    EXPECT_TRUE(g.buttons.empty());
    EXPECT_EQ(g.clientWidth, 247 + 24);
    EXPECT_EQ(g.clientHeight, 32 + 16 + 23 + 2 * 13);
}

TEST(LayOutMessageDialog, ElevenButtonsLineUpWithoutOverlap) {
    const DialogGeometry g = LayOutMessageDialog({6, 13, 10, 13, false, 11});
    ASSERT_EQ(g.buttons.size(), 11u);
    EXPECT_EQ(g.clientWidth, 11 * 75 + 10 * 6 + 24);
    for (std::size_t i = 1; i < g.buttons.size(); ++i)
        EXPECT_EQ(g.buttons[i].left, g.buttons[i - 1].left + 75 + 6);
}

TEST(CentreOnScreen, HalvesAreTruncatedSeparately) {
    EXPECT_EQ(CentreOnScreen(1280, 1024, 283, 126), (Point{640 - 141, 512 - 63}));
    EXPECT_EQ(CentreOnScreen(801, 601, 271, 97), (Point{400 - 135, 300 - 48}));
}

TEST(PlaceEdge, ZeroOrMoreMovesNegativeKeepsCentred) {
    EXPECT_EQ(PlaceEdge(400, 0), 0);
    EXPECT_EQ(PlaceEdge(400, 17), 17);
    EXPECT_EQ(PlaceEdge(400, -1), 400);
    EXPECT_EQ(PlaceEdge(400, -500), 400);
}
