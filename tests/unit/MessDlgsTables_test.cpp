#include <gtest/gtest.h>

#include "gui/MessDlgs.h"

TEST(MessDlgsTables, CaptionsFollowTheLanguageAndFallBackToEnglish) {
    EXPECT_EQ(DialogCaption(mtConfirmation, 9), "Confirm");
    EXPECT_EQ(DialogCaption(mtInformation, 9), "Information");
    EXPECT_EQ(DialogCaption(mtWarning, 1), "Предупреждение");
    EXPECT_EQ(DialogCaption(mtWarning, 7), "Προσοχή!");
    EXPECT_EQ(DialogCaption(mtConfirmation, 3), "Doğrulama");
    EXPECT_EQ(DialogCaption(mtError, 8), "Error");
    EXPECT_EQ(DialogCaption(mtConfirmation, 6), "Confirmation");
    for (const DialogLanguage english : {0, 9, 10, 11, 255})
        EXPECT_EQ(DialogCaption(mtError, english), "Error") << int{english};
}

TEST(MessDlgsTables, CustomAndUnknownTypesHaveNoCaptionAndNoIcon) {
    EXPECT_EQ(DialogCaption(mtCustom, 9), "");
    EXPECT_FALSE(HasIcon(mtCustom));
    EXPECT_FALSE(HasIcon(static_cast<DialogType>(200)));
    EXPECT_EQ(DialogCaption(static_cast<DialogType>(200), 4), "");
    EXPECT_TRUE(HasIcon(mtWarning));
    EXPECT_TRUE(HasIcon(mtConfirmation));
}

TEST(MessDlgsTables, ButtonRowsThatLookOdd) {
    EXPECT_EQ(ButtonCaption(DialogButton::Cancel, 4), "Abbrechen");
    EXPECT_EQ(ButtonCaption(DialogButton::Abort, 4), "Abbrechen");
    EXPECT_EQ(ButtonCaption(DialogButton::Help, 5), "?");
    EXPECT_EQ(ButtonCaption(DialogButton::Ignore, 3), "İptal");
    EXPECT_EQ(ButtonCaption(DialogButton::OK, 3), "TAMAM");
    EXPECT_EQ(ButtonCaption(DialogButton::OK, 7), "Εντάξει");
    EXPECT_EQ(ButtonCaption(DialogButton::OK, 1), "OK");
    EXPECT_EQ(ButtonCaption(DialogButton::Retry, 2), "Tenta Novamente");
    EXPECT_EQ(ButtonCaption(DialogButton::YesToAll, 8), "Si a todo");
    EXPECT_EQ(ButtonCaption(DialogButton::NoToAll, 9), "No to all");
}

TEST(MessDlgsTables, LanguageTenRenamesOnlyAbort) {
    EXPECT_EQ(ButtonCaption(DialogButton::Abort, 10), "Disconnect");
    EXPECT_EQ(ButtonCaption(DialogButton::Abort, 9), "Abort");
    EXPECT_EQ(ButtonCaption(DialogButton::Abort, 11), "Abort");
    EXPECT_EQ(ButtonCaption(DialogButton::Cancel, 10), "Cancel");
    EXPECT_EQ(ButtonCaption(DialogButton::Retry, 10), "Retry");
}

TEST(MessDlgsTables, NamesAndResultsByKind) {
    const std::pair<std::string_view, int> expected[] = {
        {"Yes", 6},    {"No", 7},  {"OK", 1},      {"Cancel", 2},    {"Abort", 3}, {"Retry", 4},
        {"Ignore", 5}, {"All", 8}, {"NoToAll", 9}, {"YesToAll", 10}, {"Help", 0}};
    for (int k = 0; k < kDialogButtonKinds; ++k) {
        const auto kind = static_cast<DialogButton>(k);
        EXPECT_EQ(ButtonName(kind), expected[k].first);
        EXPECT_EQ(ButtonModalResult(kind), expected[k].second) << expected[k].first;
    }
}

TEST(MessDlgsTables, OnlyBitsZeroToTenCount) {
    EXPECT_EQ(CountButtons(0), 0);
    EXPECT_EQ(CountButtons(mbYesNo), 2);
    EXPECT_EQ(CountButtons(0x0804), 1);
    EXPECT_EQ(CountButtons(0xF800), 0);
    EXPECT_EQ(CountButtons(0xFFFF), 11);
    EXPECT_EQ(mbYes | mbNo, 3);
    EXPECT_EQ(mbOK, 4);
}
