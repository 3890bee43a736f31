#include "RefreshFixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/PeWriter.h"

namespace bench {

namespace fs = std::filesystem;

namespace {

std::string Number(long index) {
    char text[16];
    std::snprintf(text, sizeof text, "%06ld", index);
    return text;
}

// A few distinct images are enough; builds vary so version texts are not all alike.
constexpr int kImageVariants = 16;

std::vector<std::vector<std::uint8_t>> ModuleImages() {
    std::vector<std::vector<std::uint8_t>> images;
    for (int i = 0; i < kImageVariants; ++i) {
        PeOptions options;
        options.fileVersion = {1, 2, 3, static_cast<std::uint16_t>(i)};
        options.pe32Plus = i % 2 == 1;
        images.push_back(BuildPeImage(options));
    }
    return images;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteProduct(const std::string& path, PeVersion version) {
    PeOptions options;
    options.fileVersion = version;
    WritePeFile(path, options);
}

}  // namespace

std::string Entry(ListKind kind, long index) {
    switch (kind) {
        case ListKind::kPhp:
            return "setup_php-5.2." + Number(index) + ".exe";
        case ListKind::kDebugger:
            return "php_dbg.dll-5.2." + Number(index);
        case ListKind::kModules:
            return "mod_bench" + Number(index) + ".dll";
        case ListKind::kUtils:
            return "benchutil" + Number(index) + ".exe";
    }
    return {};
}

std::string CatalogueText(ListKind kind, long size) {
    std::string text;
    for (long i = 0; i < size; ++i) text += Entry(kind, i) + "\r\n";
    return text;
}

std::string VersionsText() {
    return "3.1.0.246\r\n2.0.0.0\r\n";
}

std::string EntryLink(ListKind kind, long index) {
    const bool php = kind == ListKind::kPhp || kind == ListKind::kDebugger;
    return std::string(kDownloadBase) + (php ? "/download/php/" : "/download/utils/") +
           Entry(kind, index);
}

std::string PhpDisplayName(long index) {
    return "PHP-5.2." + Number(index);
}

std::string Installation::EntryPath(ListKind kind, long index) const {
    switch (kind) {
        case ListKind::kPhp:
            return PhpFolder() + "/" + PhpDisplayName(index);
        case ListKind::kDebugger:
            return DebuggerFolder() + "/" + Entry(kind, index);
        case ListKind::kModules:
            return ModulesFolder() + "/" + Entry(kind, index);
        case ListKind::kUtils:
            return UtilsFolder() + "/" + Entry(kind, index);
    }
    return {};
}

Installation BuildInstallation(const std::string& root, long size) {
    const Installation installation{root};
    const std::string marker = root + "/complete-" + std::to_string(size);
    if (fs::exists(marker)) return installation;
    fs::remove_all(root);
    for (const auto& folder :
         {installation.PhpFolder(), installation.DebuggerFolder(), installation.UtilsFolder()})
        fs::create_directories(folder);

    WriteProduct(installation.EditorPath(), {3, 1, 0, 245});
    WriteProduct(installation.ListenerPath(), {2, 13, 0, 0});
    WriteProduct(installation.LauncherPath(), {2, 0, 0, 0});
    const auto images = ModuleImages();
    for (long i = 0; i < size; i += 2) {
        fs::create_directory(installation.EntryPath(ListKind::kPhp, i));
        std::ofstream(installation.EntryPath(ListKind::kDebugger, i));
        const auto& image = images[static_cast<std::size_t>(i / 2 % kImageVariants)];
        WriteBytes(installation.EntryPath(ListKind::kModules, i), image);
        WriteBytes(installation.EntryPath(ListKind::kUtils, i), image);
    }
    std::ofstream(marker) << size << '\n';
    return installation;
}

}  // namespace bench
