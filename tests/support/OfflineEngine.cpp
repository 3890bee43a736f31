#include "support/OfflineEngine.h"

int OfflineEngine::SetOption(const std::string& name, const std::string&) {
    return name == "title" ? 1 : 0;
}

int OfflineEngine::AddFile(const std::string&, const std::string&) {
    return 1;
}

int OfflineEngine::DownloadFiles(OwnerWindow) {
    return 0;
}
