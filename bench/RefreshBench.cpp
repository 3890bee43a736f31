// RefreshComponentTree on a catalogue of --size entries per list, against an installation
// holding half of them. --mode picks what runs in this process (one size and mode per
// process, so the reported peak memory belongs to it alone):
//   scripted  the refresh with a scripted engine: the local work alone
//   http      the refresh with the real engine fetching the lists from a local HTTP server
//   floor     no logic: a bare QTreeWidget filled with the same rows and texts, plus the
//             same files' version records read with the same reader
// --fixture names a folder for the installation (kept there for the next process); without
// it a temporary one is used.
#include <QApplication>
#include <QHeaderView>
#include <QTreeWidget>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "BenchSupport.h"
#include "RefreshFixture.h"
#include "core/verinfo.h"
#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"
#include "gui/Unit1.h"
#include "support/FakeDesktop.h"
#include "support/LocalHttpServer.h"
#include "support/RecordingShell.h"
#include "support/ScriptedEngine.h"
#include "support/TempDir.h"
#include "toolkit/Application.h"

namespace {

using bench::Installation;
using bench::ListKind;

constexpr ListKind kKinds[] = {ListKind::kPhp, ListKind::kDebugger, ListKind::kModules,
                               ListKind::kUtils};
const char* const kCatalogueScripts[] = {"/download/php/list.php", "/download/php/list_dbg.php",
                                         "/download/utils/list_mod.php",
                                         "/download/utils/list_exe.php"};
constexpr const char* kVersionsScript = "/download/php/versions.php";

// The main window wired as update.cpp wires it, with the engine the mode asks for.
class MainWindow {
  public:
    MainWindow(const Installation& installation, long size, bool realEngine) {
        const std::string modulesKey = "\\Software\\Zelmarock\\modules";
        const std::string shellFolders =
            "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
        SetString(modulesKey, "PHP", installation.EditorPath());
        SetString(shellFolders, "AppData", installation.AppData());
        if (realEngine) {
            for (std::size_t k = 0; k < 4; ++k)
                server_.serveFile(kCatalogueScripts[k], bench::CatalogueText(kKinds[k], size));
            server_.serveFile(kVersionsScript, bench::VersionsText());
            QtDownloadEngine::Options options;
            options.ui = download::WidgetUi();
            options.ui.showFailures = [](OwnerWindow, const QString&, const QString& text) {
                std::fprintf(stderr, "%s\n", qPrintable(text));
            };
            engine_ = std::make_unique<QtDownloadEngine>(server_.baseUrl(), options);
        } else {
            auto scripted = std::make_unique<ScriptedEngine>();
            for (std::size_t k = 0; k < 4; ++k)
                scripted->files[catalogueBase_ + kCatalogueScripts[k]] =
                    bench::CatalogueText(kKinds[k], size);
            scripted->files[catalogueBase_ + kVersionsScript] = bench::VersionsText();
            engine_ = std::move(scripted);
        }
        if (realEngine) catalogueBase_ = server_.baseUrl();
        services_ =
            std::make_unique<Services>(Services{*hive_, desktop_, shell_, *engine_, catalogueBase_,
                                                bench::kDownloadBase, dir_.folder()});
        form_ = std::make_unique<TForm1>(*services_);
        form_->show();
        QApplication::processEvents();
    }

    TForm1& form() { return *form_; }
    // The scripted engine remembers every call; a long run must not grow on that.
    void ForgetCalls() {
        if (auto* scripted = dynamic_cast<ScriptedEngine*>(engine_.get())) scripted->calls.clear();
    }

  private:
    void SetString(const std::string& key, const std::string& name, const std::string& value) {
        hive_->CreateKey(key);
        hive_->WriteValue(key, name, platform::TextValue(value));
    }

    TempDir dir_;
    std::unique_ptr<platform::RegistryHive> hive_ =
        platform::OpenHiveFile(dir_.path() + "/HKCU.reg");
    FakeDesktop desktop_;
    RecordingShell shell_;
    testsupport::LocalHttpServer server_;
    std::string catalogueBase_ = "http://catalogue.test";
    std::unique_ptr<DownloadEngine> engine_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<TForm1> form_;
};

std::string Text(const QString& text) {
    return text.toStdString();
}

std::string Summary(long size) {
    return std::to_string((size + 1) / 2) + " present, " + std::to_string(size) + " available";
}

// The shape and a sample of rows, so a benchmark never times a refresh that went wrong.
void CheckTree(const toolkit::TTreeView& tree, const Installation& installation, long size) {
    auto expect = [](bool ok, const std::string& what) {
        if (!ok) throw std::runtime_error("unexpected tree: " + what);
    };
    expect(tree.TopLevelCount() == 2, "two products");
    const toolkit::TTreeNode* editor = tree.TopLevel(0);
    const toolkit::TTreeNode* server = tree.TopLevel(1);
    expect(editor->ChildCount() == 3 && server->ChildCount() == 2, "groups");
    expect(Text(editor->ColumnText(3)) == "Up to date" || Text(editor->ColumnText(3)) == "Obsolete",
           "editor found");
    const toolkit::TTreeNode* groups[] = {editor->Child(1), editor->Child(2), server->Child(0),
                                          server->Child(1)};
    for (std::size_t k = 0; k < 4; ++k) {
        const toolkit::TTreeNode* group = groups[k];
        expect(group->ChildCount() == size, "rows of group " + Text(group->Text()));
        expect(Text(group->ColumnText(3)) == Summary(size), "summary of " + Text(group->Text()));
        const toolkit::TTreeNode* first = group->Child(0);
        expect(Text(first->ColumnText(0)) == installation.EntryPath(kKinds[k], 0),
               "location in " + Text(group->Text()));
        expect(Text(first->ColumnText(4)) == bench::EntryLink(kKinds[k], 0), "link");
        if (size > 1) expect(Text(group->Child(1)->ColumnText(3)) == "Not found", "missing entry");
    }
}

void RefreshCode(benchmark::State& state, MainWindow& window, const Installation& installation,
                 long size) {
    TForm1& form = window.form();
    std::string error;
    toolkit::ScopedErrorPresenter presenter([&](const std::string& text) { error = text; });
    try {
        form.RefreshComponentTree();  // warm-up, and the check of what is timed
        CheckTree(*form.ProjectTree, installation, size);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    for (auto _ : state) {
        form.RefreshComponentTree();
        QApplication::processEvents();  // the view's deferred layout and paint belong to it
        window.ForgetCalls();
    }
    if (!error.empty()) state.SkipWithError(error.c_str());
    state.counters["rows"] = static_cast<double>(4 * size + 3);
    state.counters["peak_rss_kib"] = static_cast<double>(bench::PeakRssKiB());
}

// --- the floor -----------------------------------------------------------------------------

QTreeWidgetItem* AddRow(QTreeWidgetItem* parent, const std::string& text,
                        const std::string& location, const std::string& version,
                        const std::string& build, const char* state, const std::string& link) {
    auto* row = new QTreeWidgetItem(QStringList{
        QString::fromUtf8(text), QString::fromUtf8(location), QString::fromUtf8(version),
        QString::fromUtf8(build), QString::fromUtf8(state), QString::fromUtf8(link)});
    if (parent) parent->addChild(row);  // owned by its parent
    return row;
}

QTreeWidgetItem* AddProduct(QTreeWidgetItem* parent, const char* text, const std::string& path,
                            TrsFileVersion& reader, const char* state, const std::string& link) {
    reader.GetVersion(path);
    return AddRow(parent, text, path, reader.VersionText, std::to_string(reader.Build), state,
                  link);
}

void AddGroup(QTreeWidgetItem* parent, const char* text, ListKind kind, long size,
              const Installation& installation, TrsFileVersion& reader) {
    QTreeWidgetItem* group = AddRow(parent, text, "", "", "", "", "");
    for (long i = 0; i < size; ++i) {
        const std::string name =
            kind == ListKind::kPhp ? bench::PhpDisplayName(i) : bench::Entry(kind, i);
        const std::string link = bench::EntryLink(kind, i);
        if (!bench::IsPresent(i)) {
            AddRow(group, name, "", "", "", "Not found", link);
            continue;
        }
        const std::string path = installation.EntryPath(kind, i);
        if (kind == ListKind::kDebugger) {
            AddRow(group, name, path, bench::Entry(kind, i).substr(12), "0", "OK", link);
            continue;
        }
        reader.GetVersion(path);
        AddRow(group, name, path, reader.VersionText, std::to_string(reader.Build),
               kind == ListKind::kPhp ? "Present" : "OK", link);
    }
    group->setText(4, QString::fromStdString(Summary(size)));
}

void FillFloor(QTreeWidget& tree, const Installation& installation, long size) {
    tree.clear();
    TrsFileVersion reader;
    const std::string base = bench::kDownloadBase;
    QTreeWidgetItem* editor =
        AddProduct(nullptr, "Corvalite Editor for PHP", installation.EditorPath(), reader,
                   "Obsolete", base + "/download/php_editor_php5.exe");
    AddProduct(editor, "Debugger listener", installation.ListenerPath(), reader, "Up to date",
               base + "/download/DbgListener.exe");
    AddGroup(editor, "PHP", ListKind::kPhp, size, installation, reader);
    AddGroup(editor, "Debugger", ListKind::kDebugger, size, installation, reader);
    QTreeWidgetItem* server =
        AddProduct(nullptr, "Corvalite Web Server", installation.LauncherPath(), reader,
                   "Up to date", base + "/download/websrv.exe");
    AddGroup(server, "Modules", ListKind::kModules, size, installation, reader);
    AddGroup(server, "Utils", ListKind::kUtils, size, installation, reader);
    tree.addTopLevelItems({editor, server});
    editor->setExpanded(true);
    server->setExpanded(true);
}

void RefreshFloor(benchmark::State& state, const Installation& installation, long size) {
    QTreeWidget tree;
    tree.setColumnCount(5);
    tree.setHeaderLabels({"Component", "Location", "Version", "Build", "State"});
    tree.setUniformRowHeights(true);
    tree.resize(765, 483);
    tree.show();
    FillFloor(tree, installation, size);
    QApplication::processEvents();
    for (auto _ : state) {
        FillFloor(tree, installation, size);
        QApplication::processEvents();
    }
    state.counters["rows"] = static_cast<double>(4 * size + 3);
    state.counters["peak_rss_kib"] = static_cast<double>(bench::PeakRssKiB());
}

}  // namespace

int main(int argc, char** argv) {
    // Kept for the whole run: the benchmarks below refer to them.
    static std::unique_ptr<TempDir> scratch;
    static Installation installation;
    static std::unique_ptr<MainWindow> window;
    return bench::RunMain(
        argc, argv, {"size", "mode", "fixture"},
        [](const bench::Flags& flags) {
            const long size = bench::FlagNumber(flags, "size", 1000);
            const std::string mode = bench::FlagText(flags, "mode", "scripted");
            std::string root = bench::FlagText(flags, "fixture", "");
            if (root.empty()) {
                scratch = std::make_unique<TempDir>();
                root = scratch->path();
            }
            installation = bench::BuildInstallation(root, size);
            const std::string name = "refresh/" + mode + "/" + std::to_string(size);
            benchmark::internal::Benchmark* registered = nullptr;
            if (mode == "floor") {
                registered = benchmark::RegisterBenchmark(
                    name.c_str(),
                    [size](benchmark::State& s) { RefreshFloor(s, installation, size); });
            } else {
                window = std::make_unique<MainWindow>(installation, size, mode == "http");
                registered = benchmark::RegisterBenchmark(
                    name.c_str(),
                    [size](benchmark::State& s) { RefreshCode(s, *window, installation, size); });
            }
            registered->Unit(benchmark::kMillisecond)->UseRealTime();
        },
        [] { window.reset(); });
}
