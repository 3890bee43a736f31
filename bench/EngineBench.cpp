// Throughput of the real download engine against Debian's curl on the same file from the
// same local HTTP server, taken in turns (engine, curl, engine, curl, ...) so a change in
// the machine's load falls on both. --bytes sets the file's size (1 GiB by default),
// --rounds the number of turns, --dir the folder the files are written to (a temporary
// folder inside it, removed afterwards; default: the system's temporary folder).
#include <QApplication>
#include <QProcess>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "BenchSupport.h"
#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"
#include "support/LocalHttpServer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Setup {
    testsupport::LocalHttpServer server;
    std::uint64_t bytes = 0;
    fs::path folder;
    std::string url() const { return server.url("/big.bin"); }
};

std::unique_ptr<Setup> setup;

// Times one fetch; the file must have arrived whole, and is removed at once.
bool Fetch(benchmark::State& state, const std::function<bool(const std::string&)>& fetch,
           const char* name) {
    const fs::path file = setup->folder / name;
    const auto start = Clock::now();
    const bool ok = fetch(file.string());
    const std::chrono::duration<double> took = Clock::now() - start;
    std::error_code error;
    const auto size = fs::file_size(file, error);
    fs::remove(file, error);
    if (!ok || size != setup->bytes) {
        state.SkipWithError((std::string(name) + ": the file did not arrive whole").c_str());
        return false;
    }
    state.SetIterationTime(took.count());
    return true;
}

void Engine(benchmark::State& state) {
    QtDownloadEngine::Options options;
    options.ui = download::WidgetUi();
    options.ui.showFailures = [](OwnerWindow, const QString&, const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    };
    QtDownloadEngine engine(setup->server.baseUrl(), options);
    for (auto _ : state) {
        const bool ok = Fetch(
            state,
            [&](const std::string& path) {
                engine.ClearFiles();
                engine.AddFile(setup->url(), path);
                return engine.DownloadFiles({}) == 1;
            },
            "engine.bin");
        if (!ok) break;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup->bytes));
}

void Curl(benchmark::State& state) {
    for (auto _ : state) {
        const bool ok = Fetch(
            state,
            [](const std::string& path) {
                return QProcess::execute("curl", {"-s", "-f", "-o", QString::fromStdString(path),
                                                  QString::fromStdString(setup->url())}) == 0;
            },
            "curl.bin");
        if (!ok) break;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup->bytes));
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunMain(
        argc, argv, {"bytes", "rounds", "dir"},
        [](const bench::Flags& flags) {
            setup = std::make_unique<Setup>();
            setup->bytes = static_cast<std::uint64_t>(bench::FlagNumber(flags, "bytes", 1L << 30));
            const fs::path parent = bench::FlagText(flags, "dir", fs::temp_directory_path());
            std::string pattern = (parent / "corvalite-engine-XXXXXX").string();
            if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make " + pattern);
            setup->folder = pattern;
            setup->server.serveGenerated("/big.bin", setup->bytes);
            // One registration per turn: Google Benchmark runs them in this order.
            const long rounds = bench::FlagNumber(flags, "rounds", 2);
            for (long round = 1; round <= rounds; ++round) {
                for (const auto& [name, function] :
                     {std::pair{"engine", &Engine}, std::pair{"curl", &Curl}}) {
                    const std::string title =
                        std::string("download/") + name + "/" + std::to_string(round);
                    benchmark::RegisterBenchmark(title.c_str(), function)
                        ->Iterations(1)
                        ->UseManualTime()
                        ->Unit(benchmark::kMillisecond);
                }
            }
        },
        [] {
            std::error_code ignored;
            fs::remove_all(setup->folder, ignored);
            setup.reset();
        });
}
