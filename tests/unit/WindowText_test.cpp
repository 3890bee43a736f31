// Matching and clipping of window texts, shared by the real and the fake desktop.
#include <gtest/gtest.h>

#include "platform/WindowText.h"

using platform::ClipWindowText;
using platform::WindowTextMatches;

TEST(WindowTextMatches, NullPatternMatchesAnythingEmptyOnlyEmpty) {
    EXPECT_TRUE(WindowTextMatches(nullptr, ""));
    EXPECT_TRUE(WindowTextMatches(nullptr, "whatever"));
    EXPECT_TRUE(WindowTextMatches("", ""));
    EXPECT_FALSE(WindowTextMatches("", "x"));
}

TEST(WindowTextMatches, WholeTextAsciiCaseFoldedOnly) {
    EXPECT_TRUE(WindowTextMatches("Corvalite Webserver", "CORVALITE webserver"));
    EXPECT_FALSE(WindowTextMatches("Corvalite Webserver", "Corvalite Webserver2"));
    EXPECT_FALSE(WindowTextMatches("Corvalite Webserver2", "Corvalite Webserver"));
    EXPECT_FALSE(WindowTextMatches("[", "{"));  // 0x5B and 0x7B differ by the case bit
    EXPECT_TRUE(
        WindowTextMatches("Gr\xC3\xBC\xC3\x9F"
                          "e",
                          "GR\xC3\xBC\xC3\x9F"
                          "E"));
    // Letters beyond ASCII are compared as they are: U+00FC against U+00DC.
    EXPECT_FALSE(WindowTextMatches("\xC3\xBC", "\xC3\x9C"));
}

TEST(ClipWindowText, NeverCutsAUtf8SequenceInHalf) {
    EXPECT_EQ(ClipWindowText("Running", 255), "Running");
    EXPECT_EQ(ClipWindowText("Running", 3), "Run");
    EXPECT_EQ(ClipWindowText("Running", 0), "");
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    EXPECT_EQ(ClipWindowText("ab" + euro, 4), "ab");
    EXPECT_EQ(ClipWindowText("ab" + euro, 3), "ab");
    EXPECT_EQ(ClipWindowText("ab" + euro, 5), "ab" + euro);
    EXPECT_EQ(ClipWindowText("ab" + euro + "c", 5), "ab" + euro);
    const std::string emoji = "\xF0\x9F\x98\x80";  // four bytes
    EXPECT_EQ(ClipWindowText(std::string(253, 'x') + emoji, 255), std::string(253, 'x'));
}

TEST(ClipWindowText, BrokenSequencesAreCutAtTheLimit) {
    // Stray continuation bytes belong to no sequence, so they do not shorten the text further.
    EXPECT_EQ(ClipWindowText(std::string(10, '\x80'), 6), std::string(6, '\x80'));
    EXPECT_EQ(ClipWindowText("a" + std::string(6, '\x80'), 5), "a" + std::string(4, '\x80'));
}
