#pragma once
// What a row of the component tree carries besides its shown texts. The tree builder writes
// it, the selection and the download commands read it; the numbers are the tree control's
// tag and image index, so they stay as they are.
#include <QString>

#include "toolkit/TreeView.h"

// The row's tag.
enum class ComponentKind : int {
    Group = 0,  // a heading with a summary; nothing to download
    File = 1,   // the downloaded file is moved into the product's folder
    Setup = 2,  // the downloaded file is a program that is run
};

// The row's image index; never drawn, it only carries the mark.
enum class NeedsUpdate : int {
    Unmarked = -1,  // group rows keep the control's default
    No = 0,         // present and current
    Yes = 1,        // missing or out of date
};

// Column texts: [0] Location, [1] Version, [2] Build, [3] State, [4] the download link,
// which no column shows.
inline constexpr int kStateColumn = 3;
inline constexpr int kLinkColumn = 4;

inline ComponentKind KindOf(const toolkit::TTreeNode& row) {
    return static_cast<ComponentKind>(row.Tag());
}
inline void SetKind(toolkit::TTreeNode& row, ComponentKind kind) {
    row.SetTag(static_cast<int>(kind));
}
// Only file and setup rows offer a download.
inline bool OffersDownload(const toolkit::TTreeNode& row) {
    return KindOf(row) == ComponentKind::File || KindOf(row) == ComponentKind::Setup;
}
// Any mark other than Yes reads as current; a missing mark is not "needs update".
inline NeedsUpdate MarkOf(const toolkit::TTreeNode& row) {
    return static_cast<NeedsUpdate>(row.ImageIndex());
}
inline void SetMark(toolkit::TTreeNode& row, NeedsUpdate mark) {
    row.SetImageIndex(static_cast<int>(mark));
}
inline QString LinkOf(const toolkit::TTreeNode& row) {
    return row.ColumnText(kLinkColumn);
}
