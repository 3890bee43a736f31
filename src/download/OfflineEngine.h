#pragma once
// An engine that is never online and fetches nothing: the program runs without a
// network engine, and tests that must not touch the network use it.
#include <string>

#include "download/DownloadEngine.h"

class OfflineEngine : public DownloadEngine {
  public:
    int IsConnected() override { return 0; }
    int SetOption(const std::string& name, const std::string& value) override;
    void ClearFiles() override {}
    int AddFile(const std::string& url, const std::string& destination) override;
    // Writes nothing; nothing arrives.
    int DownloadFiles(QWidget* owner) override;
};
