// The progress window's texts and its speed estimate.
#include <gtest/gtest.h>

#include <algorithm>

#include "download/ProgressText.h"

using namespace download;

TEST(ProgressText, FormatsAmounts) {
    EXPECT_EQ(formatBytes(0), "0 bytes");
    EXPECT_EQ(formatBytes(1023), "1023 bytes");
    EXPECT_EQ(formatBytes(1536), "1.5 KB");
    EXPECT_EQ(formatBytes(64ll << 20), "64.0 MB");
    EXPECT_EQ(formatBytes(5ll << 29), "2.50 GB");
    EXPECT_EQ(formatAmount(3, 1000), "3 bytes of 1000 bytes");
    EXPECT_EQ(formatAmount(2048, -1), "2.0 KB of unknown size");
}

TEST(ProgressText, FormatsDurations) {
    EXPECT_EQ(formatDuration(0), "0:00");
    EXPECT_EQ(formatDuration(7), "0:07");
    EXPECT_EQ(formatDuration(754), "12:34");
    EXPECT_EQ(formatDuration(3723), "1:02:03");
}

TEST(RateMeter, MeasuresOverTheLastSecondsOnly) {
    RateMeter meter;
    meter.sample(0, 0);
    EXPECT_LT(meter.bytesPerSecond(), 0) << "one sample says nothing";
    meter.sample(100, 1000);
    EXPECT_LT(meter.bytesPerSecond(), 0) << "too short to say";
    for (int ms = 200; ms <= 10'000; ms += 100) meter.sample(ms, ms * 10);  // 10 KB/s
    EXPECT_NEAR(meter.bytesPerSecond(), 10'000, 1);
    EXPECT_EQ(meter.secondsLeft(200'000), 10);
    EXPECT_LT(meter.secondsLeft(-1), 0);
    // A stall shows within the window, not after an average over the whole run.
    for (int ms = 10'100; ms <= 14'000; ms += 100) meter.sample(ms, 100'000);
    EXPECT_NEAR(meter.bytesPerSecond(), 0, 1);
    EXPECT_LT(meter.secondsLeft(200'000), 0);
    meter.reset();
    EXPECT_LT(meter.bytesPerSecond(), 0);
}

// Where a wrapped line may break; a word of a million characters (a server's phrase without
// blanks) is handled in one pass, so this finishes at once where a rescan per character
// would not finish at all.
TEST(ProgressText, LongWordsBreakAfterSeparatorsOrEverySixteenCharacters) {
    const QChar zwsp(0x200B);
    EXPECT_EQ(breakableText("short words stay / as they are"), "short words stay / as they are");
    EXPECT_EQ(breakableText("see https://host.example/a/long/path/to/setup.exe now"),
              QString("see https:/") + zwsp + "/" + zwsp + "host." + zwsp + "example/" + zwsp +
                  "a/" + zwsp + "long/" + zwsp + "path/" + zwsp + "to/" + zwsp + "setup." + zwsp +
                  "exe now");

    const qsizetype size = 1'000'000;
    QString word(size, QChar('x'));
    word[500'000] = QChar(0xD83D);  // an emoji's pair is never split
    word[500'001] = QChar(0xDE00);
    const QString text = "HTTP 503 " + word + " end";
    const QString broken = breakableText(text);
    QString rejoined = broken;
    rejoined.remove(zwsp);
    EXPECT_TRUE(rejoined == text);
    qsizetype longestRun = 0;
    qsizetype run = 0;
    for (qsizetype i = 0; i < broken.size(); ++i) {
        if (broken[i] == zwsp) {
            EXPECT_FALSE(broken[i - 1].isHighSurrogate()) << i;
            EXPECT_NE(broken[i + 1], ' ') << "no break at a word's end: " << i;
            longestRun = std::max(longestRun, run);
            run = 0;
        } else {
            run = broken[i] == ' ' ? 0 : run + 1;
        }
    }
    EXPECT_LE(longestRun, 17);  // sixteen, or one more to keep a pair together
    EXPECT_GE(broken.count(zwsp), size / 17);
}
