// Version records read per second with the program's reader (TrsFileVersion::GetVersion)
// over a corpus of small generated PE files: PE32 and PE32+, with and without string
// tables, the version resource under an ID or a name. --files sets the corpus size.
// When Wine's PE files are installed (Debian's wine64), they form a second corpus.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "core/verinfo.h"
#include "support/PeWriter.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> GeneratedCorpus(const TempDir& dir, long count) {
    std::vector<std::string> files;
    for (long i = 0; i < count; ++i) {
        PeOptions options;
        options.pe32Plus = i % 2 == 1;
        options.fileVersion = {5, 2, static_cast<std::uint16_t>(i % 100),
                               static_cast<std::uint16_t>(i)};
        if (i % 3 == 0)
            options.strings = {
                {"CompanyName", "Zelmarock"}, {"FileVersion", "5.2"}, {"ProductName", "Corvalite"}};
        options.namedVersionResource = i % 5 == 0;
        const std::string path = dir.path() + "/file" + std::to_string(i) + ".exe";
        WritePeFile(path, options);
        files.push_back(path);
    }
    return files;
}

// Wine's own Windows programs and libraries, wherever this Debian release keeps them.
std::vector<std::string> WineCorpus() {
    std::vector<std::string> files;
    for (const char* folder :
         {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/wine/x86_64-windows"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            const std::string extension = entry.path().extension().string();
            if (entry.is_regular_file() && (extension == ".dll" || extension == ".exe"))
                files.push_back(entry.path().string());
        }
        if (!files.empty()) break;
    }
    return files;
}

void ReadAll(benchmark::State& state, const std::vector<std::string>& files) {
    TrsFileVersion reader;
    long withRecord = 0;
    for (const auto& file : files) withRecord += reader.GetVersion(file) ? 1 : 0;
    if (withRecord == 0) {
        state.SkipWithError("no file of the corpus has a version record");
        return;
    }
    for (auto _ : state)
        for (const auto& file : files) benchmark::DoNotOptimize(reader.GetVersion(file));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(files.size()));
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["with_record"] = static_cast<double>(withRecord);
}

}  // namespace

int main(int argc, char** argv) {
    static std::unique_ptr<TempDir> dir;
    static std::vector<std::string> generated;
    static std::vector<std::string> wine;
    return bench::RunMain(
        argc, argv, {"files"},
        [](const bench::Flags& flags) {
            dir = std::make_unique<TempDir>();
            generated = GeneratedCorpus(*dir, bench::FlagNumber(flags, "files", 1000));
            benchmark::RegisterBenchmark("version_reads/generated",
                                         [](benchmark::State& s) { ReadAll(s, generated); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            wine = WineCorpus();
            if (!wine.empty())
                benchmark::RegisterBenchmark("version_reads/wine",
                                             [](benchmark::State& s) { ReadAll(s, wine); })
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
        },
        [] { dir.reset(); });
}
