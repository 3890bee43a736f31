#pragma once
// An engine that is never online and fetches nothing, for tests and benchmarks that must
// not touch the network.
#include <string>

#include "core/DownloadEngine.h"

class OfflineEngine : public DownloadEngine {
  public:
    int IsConnected() override { return 0; }
    int SetOption(const std::string& name, const std::string& value) override;
    void ClearFiles() override {}
    int AddFile(const std::string& url, const std::string& destination) override;
    // Writes nothing; nothing arrives.
    int DownloadFiles(OwnerWindow owner) override;
};
