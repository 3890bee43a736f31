#include "app/Unattended.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "core/JsonText.h"
#include "core/ReplacedFiles.h"
#include "core/TextUtils.h"
#include "core/TreeRows.h"
#include "core/Unit1Catalogue.h"
#include "core/Unit1Settings.h"
#include "core/srunner.h"
#include "download/QtDownloadEngine.h"
#include "gui/InstallCommand.h"
#include "gui/MessDlgs.h"
#include "gui/Places.h"
#include "gui/Services.h"
#include "platform/Paths.h"
#include "toolkit/Application.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

const char* const kHelp =
    "Usage: update [--list [--json] | --install NAME... | --restore NAME... | --help |\n"
    "              --version]\n"
    "Without arguments the window opens. With them the program runs without a window or a\n"
    "display, reads the settings as the window does and changes none of them.\n"
    "\n"
    "  --list          fetch the catalogue and print every row of the component tree, groups\n"
    "                  included, one line each: component, location, version, build, state,\n"
    "                  separated by tabs (a tab or line break inside a text becomes a blank)\n"
    "  --list --json   the same as a JSON array of objects with the keys \"level\" (0 for a\n"
    "                  product, 1 below it, 2 in a group), \"component\", \"location\",\n"
    "                  \"version\", \"build\" and \"state\", in UTF-8\n"
    "  --install NAME  do for each named component (its text in the component column) what\n"
    "                  \"Download and install\" does, asking nothing: a setup is started, a\n"
    "                  file is checked and placed in its product's folder\n"
    "  --restore NAME  do for each named component what \"Restore previous version\" does,\n"
    "                  asking nothing: the copy of its installed file that the last install\n"
    "                  replaced is put back, and the file it replaces is kept in turn\n"
    "  --help          this text\n"
    "  --version       the program's version\n"
    "\n"
    "Progress goes to standard error when it is a terminal; each failure is one line there,\n"
    "naming the component. Exit status: 0 everything asked succeeded, 1 a component was not\n"
    "installed (unknown, its product missing, not placed or started) or has nothing to\n"
    "restore (not installed, no previous copy kept, not put back), 2 bad usage, 3 a\n"
    "download failed (offline, catalogue or component), 4 a file was refused (signature or\n"
    "unsafe name), 5 its product is running. The first failure decides.\n";

struct Request {
    bool list = false;
    bool json = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> install;
    std::vector<std::string> restore;
};

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

#ifdef _WIN32
// update.exe is a window program: it has no console of its own. Started from one, it writes
// there; started without (a scheduled task), its output goes nowhere and only the status counts.
void AttachParentConsole() {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // Redirected streams are valid handles already and stay as they are.
    if (!IsTerminal(stdout) && GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN)
        _wfreopen(L"CONOUT$", L"w", stdout);
    if (!IsTerminal(stderr) && GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN)
        _wfreopen(L"CONOUT$", L"w", stderr);
    SetConsoleOutputCP(CP_UTF8);
}
#endif

// Tabs and line breaks would split a line of the list.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

void PrintList(const std::vector<TreeRow>& rows, bool json) {
    if (!json) {
        for (const TreeRow& row : rows)
            std::printf("%s\t%s\t%s\t%s\t%s\n", OneLine(row.name).c_str(),
                        OneLine(row.location).c_str(), OneLine(row.version).c_str(),
                        OneLine(row.build).c_str(), OneLine(row.state).c_str());
        return;
    }
    std::string out = "[";
    for (const TreeRow& row : rows) {
        if (out.size() > 1) out += ',';
        out += "\n  {\"level\": " + std::to_string(row.depth) +
               ", \"component\": " + JsonQuoted(row.name) +
               ", \"location\": " + JsonQuoted(row.location) +
               ", \"version\": " + JsonQuoted(row.version) +
               ", \"build\": " + JsonQuoted(row.build) + ", \"state\": " + JsonQuoted(row.state) +
               "}";
    }
    out += "\n]\n";
    std::fputs(out.c_str(), stdout);
}

// Progress of a run as one rewritten line on a terminal.
class TerminalProgress : public download::RunProgress {
  public:
    void beginFile(int index, int count, const QString& name) override {
        name_ = QString("%1 (%2/%3)").arg(name).arg(index + 1).arg(count).toStdString();
        Show("");
    }
    void setBytes(qint64 done, qint64 total) override {
        Show(total < 0 ? std::to_string(done) + " bytes"
                       : std::to_string(done) + " of " + std::to_string(total) + " bytes");
    }
    void setRetrying(const QString& why, std::chrono::milliseconds) override {
        if (!why.isEmpty()) Show(why.toStdString());
    }
    ~TerminalProgress() override { std::fputs("\r\033[K", stderr); }

  private:
    void Show(const std::string& what) {
        std::fprintf(stderr, "\r\033[K%s %s", name_.c_str(), what.c_str());
        std::fflush(stderr);
    }
    std::string name_;
};

int StatusOf(InstallOutcome outcome) {
    switch (outcome) {
        case InstallOutcome::Done:
            return kExitOk;
        case InstallOutcome::UnsafeName:
        case InstallOutcome::Refused:
            return kExitRefused;
        case InstallOutcome::ProductRunning:
            return kExitProductRunning;
        case InstallOutcome::DownloadFailed:
            return kExitDownloadFailed;
        case InstallOutcome::NotAsked:
        case InstallOutcome::NotInstalled:
            break;
    }
    return kExitNotInstalled;
}

const char* FallbackText(InstallOutcome outcome) {
    switch (outcome) {
        case InstallOutcome::DownloadFailed:
            return "the download failed";
        case InstallOutcome::ProductRunning:
            return "its product is running";
        case InstallOutcome::UnsafeName:
        case InstallOutcome::Refused:
            return "the file was refused";
        default:
            return "not installed";
    }
}

// The program as the window runs it, up to and including its first refresh of the tree.
class Session {
  public:
    Session() {
        // Whatever the program would show in a message box is kept for the failure's line;
        // a question is answered as if the user said yes.
        QtDownloadEngine::Options options;
        options.ui.showFailures = [this](OwnerWindow, const QString&, const QString& text) {
            said_.push_back(text.toStdString());
        };
        if (IsTerminal(stderr))
            options.ui.showProgress = [](OwnerWindow, const QString&, std::function<void()>) {
                return std::unique_ptr<download::RunProgress>(new TerminalProgress);
            };
        engine_ = std::make_unique<QtDownloadEngine>(program_.catalogueBase, std::move(options));
        services_ = std::make_unique<Services>(program_.With(*engine_));
    }

    // False with the failure told when the tree cannot be filled.
    bool Refresh() {
        std::string appData;
        // As in the window, a wrongly typed setting is told and the run goes on without it.
        Guarded("settings", kExitOk, [&] { appData = GetAppDataFolder(services_->registry); });
        runner_ = std::make_unique<TServerRunner>(
            appData + NativePath("Zelmarock\\corvalitesrv.exe"), services_->desktop);
        places_ = ChoosePlaces(services_->programFolder);
        // An install or restore that a stop interrupted is finished or undone first, as the
        // window does at its start.
        replacedDir_ = ReplacedFilesFolder();
        ReplacedFiles(replacedDir_).Replay();
        std::error_code ignored;
        std::filesystem::create_directories(platform::PathFromUtf8(places_.defaultDownloadFolder),
                                            ignored);
        downloadDir_ = places_.defaultDownloadFolder;
        bool autoUpdate = false;
        Guarded("settings", kExitOk,
                [&] { LoadSettings(services_->registry, downloadDir_, autoUpdate); });
        if (services_->engine.IsConnected() <= 0) {
            Fail("catalogue", "Your are offline. Please connect to internet and try again");
            failure = kExitDownloadFailed;
            return false;
        }
        return Guarded("catalogue", kExitDownloadFailed, [&] {
            FetchCatalogue(services_->engine, OwnerWindow{}, places_.listFolder,
                           services_->catalogueBase, catalogue_);
            BuildTreeRows(catalogue_, services_->registry, runner_->LauncherPath,
                          services_->downloadBase, rows_);
        });
    }

    const std::vector<TreeRow>& Rows() const { return rows_.rows; }

    int Install(const std::string& name) {
        const TreeRow* found = Find(name);
        if (!found) {
            Fail(name, "no such component");
            return kExitNotInstalled;
        }
        said_.clear();
        InstallSite site = Site();
        const InstallResult result = DownloadAndInstall(site, *found);
        if (result.outcome == InstallOutcome::Done) return kExitOk;
        FailWithWhatWasSaid(name, FallbackText(result.outcome));
        return StatusOf(result.outcome);
    }

    int Restore(const std::string& name) {
        const TreeRow* found = Find(name);
        if (!found) {
            Fail(name, "no such component");
            return kExitNotInstalled;
        }
        // Only a placed file has a previous copy; a setup's product is its own business.
        if (found->kind != ComponentKind::File || found->location.empty()) {
            Fail(name, "not installed, so there is nothing to restore");
            return kExitNotInstalled;
        }
        said_.clear();
        InstallSite site = Site();
        const RestoreResult result = RestoreKeptFile(site, found->location);
        switch (result.outcome) {
            case RestoreOutcome::Restored:
                return kExitOk;
            case RestoreOutcome::NothingKept:
                Fail(name, "no previous copy of " + found->location + " is kept");
                return kExitNotInstalled;
            case RestoreOutcome::ProductRunning:
                FailWithWhatWasSaid(name, "its product is running");
                return kExitProductRunning;
            case RestoreOutcome::NotAsked:
            case RestoreOutcome::NotRestored:
                break;
        }
        FailWithWhatWasSaid(name, "not restored");
        return kExitNotInstalled;
    }

    void Fail(const std::string& what, const std::string& text) {
        std::string line = OneLine(text);
        std::fprintf(stderr, "update: %s: %s\n", what.c_str(), line.c_str());
    }

    // What the command said, or the fallback when it said nothing.
    void FailWithWhatWasSaid(const std::string& what, const char* fallback) {
        std::string text;
        for (const std::string& said : said_) text += (text.empty() ? "" : " ") + said;
        Fail(what, text.empty() ? fallback : text);
    }

    int failure = kExitOk;  // of the refresh

  private:
    const TreeRow* Find(const std::string& name) const {
        for (const TreeRow& row : rows_.rows)
            if (row.OffersDownload() && row.name == name) return &row;
        return nullptr;
    }

    InstallSite Site() {
        return {*services_,   nullptr,          places_,          downloadDir_,
                replacedDir_, rows_.editorPath, rows_.serverPath, *runner_};
    }

    template <class F>
    bool Guarded(const char* what, int status, F&& step) {
        said_.clear();
        try {
            step();
            return true;
        } catch (const std::exception& error) {
            said_.push_back(error.what());
        }
        FailWithWhatWasSaid(what, "");
        failure = status;
        return false;
    }

    int Answer(const MessageDialogRequest& request) {
        if (request.type == mtConfirmation) {
            if (request.buttons & mbYes) return ModalResult::Yes;
            return ModalResult::OK;
        }
        said_.push_back(request.message);
        if (request.buttons & mbOK) return ModalResult::OK;
        if (request.buttons & mbNo) return ModalResult::No;
        return ModalResult::Cancel;
    }

    std::vector<std::string> said_;
    ScopedMessageDialogHook answers_{
        [this](const MessageDialogRequest& request) { return Answer(request); }};
    toolkit::ScopedErrorPresenter errors_{
        [this](const std::string& text) { said_.push_back(text); }};
    ProgramServices program_{ProgramServices::Face::Console};
    std::unique_ptr<QtDownloadEngine> engine_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<TServerRunner> runner_;
    Places places_;
    std::string downloadDir_;
    std::string replacedDir_;
    TCatalogue catalogue_;
    TreeRows rows_;
};

bool Parse(int argc, char** argv, Request& request) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list") {
            request.list = true;
        } else if (arg == "--json") {
            request.json = true;
        } else if (arg == "--help") {
            request.help = true;
        } else if (arg == "--version") {
            request.version = true;
        } else if (arg == "--install" || arg == "--restore") {
            std::vector<std::string>& names =
                arg == "--install" ? request.install : request.restore;
            if (!names.empty()) return false;
            for (; i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0; ++i)
                names.push_back(argv[i + 1]);
            if (names.empty()) return false;
        } else {
            return false;
        }
    }
    const int modes = request.list + !request.install.empty() + !request.restore.empty() +
                      request.help + request.version;
    if (modes != 1) return false;
    return !request.json || request.list;
}

}  // namespace

std::optional<int> RunUnattended(int argc, char** argv) {
    bool wanted = false;
    for (int i = 1; i < argc; ++i) wanted = wanted || std::string(argv[i]).rfind("--", 0) == 0;
    if (!wanted) return std::nullopt;
#ifdef _WIN32
    AttachParentConsole();
#endif
    Request request;
    if (!Parse(argc, argv, request)) {
        std::fputs("update: bad usage; see update --help\n", stderr);
        return kExitUsage;
    }
    if (request.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (request.version) {
        std::printf("update %s\n", CORVALITE_VERSION);
        return kExitOk;
    }
    QCoreApplication app(argc, argv);
    Session session;
    if (!session.Refresh()) return session.failure;
    if (request.list) {
        PrintList(session.Rows(), request.json);
        return kExitOk;
    }
    int status = kExitOk;
    for (const std::string& name : request.install) {
        const int one = session.Install(name);
        if (status == kExitOk) status = one;
    }
    for (const std::string& name : request.restore) {
        const int one = session.Restore(name);
        if (status == kExitOk) status = one;
    }
    std::fflush(stdout);
    return status;
}
