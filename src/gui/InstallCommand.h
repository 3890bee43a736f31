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
    std::string version;   // read back from the placed file when outcome is Done
    std::string folder;    // the download folder, once the name was found safe
};

// What is now in place, for the status bar: "Version 1.2.3.4 in place".
std::string InPlaceCaption(const std::string& version);

// The row's file fetched, checked and installed. A current component is fetched again only
// when the message dialog's question says so.
InstallResult DownloadAndInstall(InstallSite& site, const TreeRow& row);
// "Download": the same up to the check; the file stays in the download folder.
InstallResult DownloadOnly(InstallSite& site, const TreeRow& row);

enum class RestoreOutcome {
    Restored,        // the kept copy is back and the file it replaced is kept in turn
    NotAsked,        // the user chose not to
    NothingKept,     // no previous copy of this file is kept
    ProductRunning,  // its product runs and holds its files
    NotRestored,     // the copy could not be put back; the installed file is unchanged
};

struct RestoreResult {
    RestoreOutcome outcome = RestoreOutcome::NothingKept;
    std::string version;  // of the file now in place, when restored; empty without a record
};

// "Restore previous version" for the installed file at `target`, asking first through the
// message dialog; the row's context menu and `--restore` both run it.
RestoreResult RestoreKeptFile(InstallSite& site, const std::string& target);
