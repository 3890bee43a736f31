#include "RecordingShell.h"

#include <filesystem>

bool RecordingShell::TransferFiles(QWidget*, const std::vector<std::string>& files,
                                   const std::string& folder, bool move) {
    transfers.push_back({files, folder, move});
    if (!performTransfers) return true;
    namespace fs = std::filesystem;
    bool all = true;
    for (const auto& file : files) {
        std::error_code error;
        const fs::path target = fs::path(folder) / fs::path(file).filename();
        if (transfer)
            all = transfer(file, target.string()) && all;
        else if (move)
            fs::rename(file, target, error);
        else
            fs::copy_file(file, target, fs::copy_options::overwrite_existing, error);
        all = all && !error;
    }
    return all;
}
