#pragma once
// "Download and install" for one component, without the window: the window's command and the
// unattended mode both run it. Whatever it has to say goes through the message dialog (the
// window shows it; the unattended mode answers it and reports it), so both say the same.
#include <string>

#include "core/Authenticity.h"
#include "core/TreeRows.h"
#include "gui/Places.h"
#include "gui/Services.h"

class QWidget;
class TServerRunner;

// What the command acts with: the program's services and what the last refresh found.
struct InstallSite {
    Services& services;
    QWidget* owner;  // the window questions belong to; null when there is none
    const Places& places;
    std::string downloadDir;  // as chosen; empty for the default folder
    std::string replacedDir;
    std::string editorPath;
    std::string serverPath;
    TServerRunner& serverRunner;
};

enum class InstallOutcome {
    Done,            // placed, started, or (a file nobody installs) left where it was fetched
    NotAsked,        // a current component the user chose not to fetch again, or a group row
    UnsafeName,      // the link's file name would reach beyond the download folder
    ProductRunning,  // its product runs and holds its files
    DownloadFailed,
    Refused,       // the file failed the signature check, before or after it was placed
    NotInstalled,  // no product to place it in, not started, not moved or not kept
};

struct InstallResult {
    InstallOutcome outcome = InstallOutcome::NotAsked;
    Authenticity verdict;  // the trusted signature when outcome is Done
    bool placing = false;  // a move into the product was tried: the tree is stale
    std::string folder;    // the download folder, once the name was found safe
};

// The row's file fetched, checked and installed. A current component is fetched again only
// when the message dialog's question says so.
InstallResult DownloadAndInstall(InstallSite& site, const TreeRow& row);
// "Download": the same up to the check; the file stays in the download folder.
InstallResult DownloadOnly(InstallSite& site, const TreeRow& row);
