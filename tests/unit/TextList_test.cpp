#include <gtest/gtest.h>

#include "core/Errors.h"
#include "core/TextList.h"
#include "support/TempDir.h"

using core::SplitCommaText;
using core::SplitLines;
using core::TStringList;
using V = std::vector<std::string>;

TEST(SplitLines, AcceptsEveryLineEndAndIgnoresAFinalBreak) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n"), (V{"a"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (V{"a", "", "b"}));
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(SplitLines("\n"), (V{""}));
    EXPECT_EQ(SplitLines("\r\r"), (V{"", ""}));
}

TEST(SplitCommaText, FollowsTheCommaTextRule) {
    EXPECT_EQ(SplitCommaText("3,1,0,245"), (V{"3", "1", "0", "245"}));
    EXPECT_EQ(SplitCommaText("  3 , 1,0 245"), (V{"3", "1", "0", "245"}));
    EXPECT_EQ(SplitCommaText("3,2,,0"), (V{"3", "2", "", "0"}));
    EXPECT_EQ(SplitCommaText("3,2,0,"), (V{"3", "2", "0"}));
    EXPECT_EQ(SplitCommaText(",0"), (V{"", "0"}));
    EXPECT_EQ(SplitCommaText("3,1,0,250 beta"), (V{"3", "1", "0", "250", "beta"}));
    EXPECT_EQ(SplitCommaText("\"a \"\"b\"\"\",c"), (V{"a \"b\"", "c"}));
    EXPECT_EQ(SplitCommaText("\"unterminated"), (V{"unterminated"}));
    EXPECT_EQ(SplitCommaText("1,2\r\n"), (V{"1", "2"}));
    EXPECT_EQ(SplitCommaText(std::string("1,2\0,3", 6)), (V{"1", "2"}));
    EXPECT_EQ(SplitCommaText(""), V{});
    EXPECT_EQ(SplitCommaText("caf\xc3\xa9,x"), (V{"caf\xc3\xa9", "x"}));
}

TEST(TStringList, SortedListIgnoresCaseAndKeepsTheFirstDuplicate) {
    TStringList list(true);
    list.SetText("mod_b.dll\nMOD_A.dll\nmod_a.DLL\nZeta\nalpha\n");
    EXPECT_EQ(list.Items(), (V{"alpha", "MOD_A.dll", "mod_b.dll", "Zeta"}));
    EXPECT_EQ(list.IndexOf("mod_a.dll"), 1);
    EXPECT_EQ(list.IndexOf("missing"), -1);
    EXPECT_EQ(list.Add("ZETA"), 3u);
    EXPECT_EQ(list.Count(), 4u);
    list.Add("beta");
    EXPECT_EQ(list[1], "beta");
}

TEST(TStringList, UnsortedListKeepsOrderAndDuplicates) {
    TStringList list;
    list.SetText("b\na\nB\n");
    EXPECT_EQ(list.Items(), (V{"b", "a", "B"}));
    EXPECT_TRUE(list.Contains("A"));
}

TEST(TStringList, ReadingPastTheEndRaisesTheListIndexError) {
    TStringList list;
    list.Add("only");
    try {
        (void)list[4];
        FAIL() << "no error";
    } catch (const core::EListError& error) {
        EXPECT_STREQ(error.what(), "Der Index der Liste überschreitet das Maximum (4)");
    }
}

TEST(TStringList, LoadFromFileReportsMissingFilesAndOversizedOnes) {
    TempDir dir;
    TStringList list(true);
    const std::string missing = dir.path() + "/nope.txt";
    try {
        list.LoadFromFile(missing);
        FAIL() << "no error";
    } catch (const core::EFOpenError& error) {
        EXPECT_EQ(error.what(), "Datei " + missing + " kann nicht geöffnet werden");
    }
    EXPECT_THROW(list.LoadFromFile(dir.path()), core::EFOpenError);  // a folder

    dir.Write("big.txt", std::string(2000, 'x'));
    try {
        list.LoadFromFile(dir.path() + "/big.txt", 1000);
        FAIL() << "no error";
    } catch (const core::Error& error) {
        EXPECT_NE(std::string(error.what()).find("big.txt"), std::string::npos);
    }

    dir.Write("nul.txt", std::string("a\0b\nc\n", 6));
    list.LoadFromFile(dir.path() + "/nul.txt");
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list[0], std::string("a\0b", 3));
}
