#include <gtest/gtest.h>

#include <limits>

#include "core/TextUtils.h"
#include "core/Unit1Inventory.h"
#include "core/verinfo.h"

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanningInsertedText) {
    EXPECT_EQ(ReplaceAll("3.1.0.245", ".", ","), "3,1,0,245");
    EXPECT_EQ(ReplaceAll("a\\\\\\b", "\\\\", "\\"), "a\\\\b");  // three become two
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("", "a", "b"), "");
    EXPECT_EQ(ReplaceAll("Aa", "a", "b"), "Ab");  // case-sensitive
    EXPECT_EQ(ReplaceAll("x--y--", "--", ""), "xy");
}

TEST(StrToIntDef, AcceptsOnlyWholeSignedDecimalNumbersIn32Bits) {
    EXPECT_EQ(StrToIntDef("245", -1), 245);
    EXPECT_EQ(StrToIntDef("+7", -1), 7);
    EXPECT_EQ(StrToIntDef("-7", -1), -7);
    EXPECT_EQ(StrToIntDef("007", -1), 7);
    EXPECT_EQ(StrToIntDef("2147483647", -1), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(StrToIntDef("-2147483648", -1), std::numeric_limits<std::int32_t>::min());
    for (const char* bad : {"", "+", "-", "2147483648", "-2147483649", "99999999999999999999", "x",
                            "1x", " 1", "1 ", "+-1", "--1", "0x10", "$10", "1.5", "١"})
        EXPECT_EQ(StrToIntDef(bad, -1), -1) << bad;
}

TEST(IsNewerVersion, ComparesInOrderTheFirstDifferingNumberDecides) {
    EXPECT_FALSE(IsNewerVersion("2.0.0.0", "1.5.0.0"));  // no downgrade offered
    EXPECT_TRUE(IsNewerVersion("1.5.0.0", "2.0.0.0"));
    EXPECT_FALSE(IsNewerVersion("3.1.0.245", "3.1.0.245"));
    EXPECT_TRUE(IsNewerVersion("3.1.0.245", "3.1.0.246"));
    EXPECT_FALSE(IsNewerVersion("3.1.0.246", "3.1.0.245"));
    EXPECT_TRUE(IsNewerVersion("3.1.9.999", "3.2.0.0"));
    EXPECT_FALSE(IsNewerVersion("3.2.0.0", "3.1.9.999"));
    EXPECT_TRUE(IsNewerVersion("9.9.9.9", "10.0.0.0"));  // numbers, not text
}

TEST(IsNewerVersion, TextsThatAreNotFourNumbersCountAsZeros) {
    EXPECT_FALSE(IsNewerVersion("3.1.0.245", "3.1"));
    EXPECT_FALSE(IsNewerVersion("3.1.0.245", ""));
    EXPECT_TRUE(IsNewerVersion(".0", "1.0.0.0"));  // the text after a failed read
    EXPECT_FALSE(IsNewerVersion(".0", "0.0.0.0"));
    EXPECT_TRUE(IsNewerVersion("3.1.0.245", "3.1.0.250 beta"));
    EXPECT_FALSE(IsNewerVersion("3.1.0.245", "3.1.x.0"));
    EXPECT_TRUE(IsNewerVersion("3.1.0.245", "3.2..0"));
    EXPECT_FALSE(IsNewerVersion("3.1.0.245", "3.2.0."));
    EXPECT_FALSE(IsNewerVersion("3.1.0.245", "3.1.0.245\r\n"));
    EXPECT_TRUE(IsNewerVersion("3.1.0.245", "3.1.0.246\r\n"));
    EXPECT_TRUE(IsNewerVersion("3.1.0.245", "3,1,0,246"));
    EXPECT_FALSE(IsNewerVersion("3.1.0.245", "3.1.0.0x100"));     // hexadecimal counts as 0
    EXPECT_FALSE(IsNewerVersion("0.0.0.0", "4294967296.0.0.0"));  // out of range: 0
    EXPECT_TRUE(IsNewerVersion("-1.0.0.0", "0.0.0.0"));           // signed comparison
}

namespace {
TrsFileVersion Listener(std::int32_t major, std::int32_t minor) {
    TrsFileVersion reader;
    reader.Major = major;
    reader.Minor = minor;
    reader.Release = 9;
    reader.Build = 9;
    return reader;
}
}  // namespace

TEST(ListenerRule, CurrentFromVersion2Point13InOrder) {
    EXPECT_TRUE(IsListenerCurrent(Listener(2, 13)));
    EXPECT_TRUE(IsListenerCurrent(Listener(2, 40)));
    EXPECT_TRUE(IsListenerCurrent(Listener(3, 0)));
    EXPECT_FALSE(IsListenerCurrent(Listener(2, 12)));
    EXPECT_FALSE(IsListenerCurrent(Listener(1, 20)));
    EXPECT_FALSE(IsListenerCurrent(TrsFileVersion{}));  // what a failed read leaves
}

TEST(LocalComparisonText, JoinsVersionTextAndBuild) {
    TrsFileVersion reader;
    EXPECT_EQ(LocalComparisonText(reader), ".0");
    reader.VersionText = "5.2.1";
    reader.Build = 300;
    EXPECT_EQ(LocalComparisonText(reader), "5.2.1.300");
}
