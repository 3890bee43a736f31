#include <QPushButton>

#include "gui/ComponentRow.h"
#include "gui/Unit1.h"

void TForm1::ProjectTreeClick() {
    Button1->setEnabled(false);
    Button2->setEnabled(false);
    TBXStatusBar1->SetCaption(1, "");
    TBXStatusBar1->SetCaption(2, "");
    const toolkit::TTreeNode* node = ProjectTree->Selected();
    if (!node) return;
    switch (KindOf(*node)) {
        case ComponentKind::File:
            TBXStatusBar1->SetCaption(1, "File available");
            break;
        case ComponentKind::Setup:
            TBXStatusBar1->SetCaption(1, "Setup available");
            break;
        default:
            return;  // a group row offers nothing
    }
    TBXStatusBar1->SetCaption(2, MarkOf(*node) == NeedsUpdate::Yes ? "Need update" : "Up to date");
    Button1->setEnabled(true);
    Button2->setEnabled(true);
}
