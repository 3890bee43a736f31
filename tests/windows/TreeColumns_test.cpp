// The main window's tree at 96 dpi in its designed font as Windows draws it: the sample's first row
// and the web server's folder in a user's application data read whole in the designed columns,
// measured against each text rather than looked at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "gui/Unit1.h"
#include "toolkit/DesignedFont.h"
#include "toolkit/TreeView.h"

namespace {

using toolkit::TTreeNode;

TTreeNode* AddRow(toolkit::TTreeView& tree, TTreeNode* parent, const QStringList& texts) {
    TTreeNode* row = tree.AddChild(parent, texts[0]);
    for (int column = 1; column < texts.size(); ++column) row->AppendColumnText(texts[column]);
    return row;
}

TEST(TreeColumns, TheSamplesNamesAndTheServersFolderReadWholeAt96Dpi) {
    ASSERT_EQ(QApplication::primaryScreen()->logicalDotsPerInch(), 96);
    toolkit::TTreeView tree;
    tree.SetColumns(kTreeCaptions, kTreeWidths);
    tree.SetGrowingColumns({0, 1});
    tree.setFont(toolkit::DesignedFont(13));  // as the main window sets it
    TTreeNode* editor =
        AddRow(tree, nullptr,
               {"Corvalite Editor for PHP", "C:\\Corvalite\\Corvalite Editor\\CorvaliteEditor.exe",
                "3.4.1", "812", "Up to date"});
    AddRow(tree, editor, {"Debugger", "", "", "", "2 present, 3 available"});
    AddRow(
        tree, nullptr,
        // The sample run's user here; a much longer name would need a wider window.
        {"Corvalite Web Server", "C:\\users\\root\\AppData\\Roaming\\Zelmarock\\corvalitesrv.exe",
         "2.2.9", "140", "Up to date"});
    editor->setExpanded(true);
    int designed = 0;
    for (int width : kTreeWidths) designed += width;
    tree.resize(designed + 2 * tree.frameWidth(), 200);
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    int total = 0;
    for (int column = 0; column < tree.columnCount(); ++column) total += tree.columnWidth(column);
    EXPECT_EQ(total, designed);
    for (QTreeWidgetItemIterator it(&tree); *it; ++it)
        for (int column = 0; column < tree.columnCount(); ++column)
            EXPECT_EQ(tree.ShownText(tree.indexFromItem(*it, column)).toStdString(),
                      (*it)->text(column).toStdString())
                << "column " << column << " is " << tree.columnWidth(column) << " px";
}

}  // namespace
