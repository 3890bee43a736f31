#pragma once
// What a row of the component tree carries besides its shown texts (core/TreeRows builds
// them), as the tree control keeps it: kind and mark are the control's tag and image index.
#include <QString>

#include "core/TreeRows.h"
#include "toolkit/TreeView.h"

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
