#pragma once
// A download engine for tests: records every call in order and "downloads" by writing the
// contents scripted for a URL (a URL without a script is not delivered).
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/DownloadEngine.h"

class ScriptedEngine : public DownloadEngine {
  public:
    int connected = 1;
    std::map<std::string, std::string> files;  // URL -> body
    std::vector<std::string> calls;            // "SetOption(title,Receiving info)", ...
    std::vector<std::pair<std::string, std::string>> queue;
    std::function<void()> onDownload;  // runs inside DownloadFiles, before writing
    int connectionChecks = 0;

    int IsConnected() override;
    int SetOption(const std::string& name, const std::string& value) override;
    void ClearFiles() override;
    int AddFile(const std::string& url, const std::string& destination) override;
    int DownloadFiles(OwnerWindow owner) override;
};
