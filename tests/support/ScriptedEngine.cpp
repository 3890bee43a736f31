#include "ScriptedEngine.h"

#include <fstream>

int ScriptedEngine::IsConnected() {
    ++connectionChecks;
    calls.push_back("IsConnected");
    return connected;
}

int ScriptedEngine::SetOption(const std::string& name, const std::string& value) {
    calls.push_back("SetOption(" + name + "," + value + ")");
    return 0;
}

void ScriptedEngine::ClearFiles() {
    calls.push_back("ClearFiles");
    queue.clear();
}

int ScriptedEngine::AddFile(const std::string& url, const std::string& destination) {
    calls.push_back("AddFile(" + url + "," + destination + ")");
    queue.emplace_back(url, destination);
    return 1;
}

int ScriptedEngine::DownloadFiles(OwnerWindow) {
    calls.push_back("DownloadFiles");
    if (onDownload) onDownload();
    bool all = true;
    for (const auto& [url, destination] : queue) {
        const auto it = files.find(url);
        if (it == files.end()) {
            all = false;
            continue;
        }
        std::ofstream(destination, std::ios::binary) << it->second;
    }
    return all ? 1 : 0;
}
