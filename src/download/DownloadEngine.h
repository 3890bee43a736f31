#pragma once
// The download engine: a connection test, a queue of (URL, destination) pairs, and a
// blocking run with its own modal progress window. Kept abstract so another engine can
// stand in, and so tests can script one.
#include <string>

class QWidget;

class DownloadEngine {
  public:
    virtual ~DownloadEngine() = default;
    // Greater than 0 when the machine is online.
    virtual int IsConnected() = 0;
    // Only "title" means something: the caption of the next progress window.
    virtual int SetOption(const std::string& name, const std::string& value) = 0;
    virtual void ClearFiles() = 0;
    virtual int AddFile(const std::string& url, const std::string& destination) = 0;
    // A file the caller reads and deletes right after the run: an engine may spare it what
    // only a resumed or long-kept file needs.
    virtual int AddScratchFile(const std::string& url, const std::string& destination) {
        return AddFile(url, destination);
    }
    // Fetches the queue in order; returns when every transfer has ended or the user
    // cancelled: 1 when every file arrived, 0 otherwise.
    virtual int DownloadFiles(QWidget* owner) = 0;
};
