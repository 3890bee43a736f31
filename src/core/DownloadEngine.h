#pragma once
// The download engine as the units use it: a connection test, a queue of (URL, destination)
// pairs, and a blocking run that shows its own progress. Plain C++, so another engine can
// stand in, tests can script one, and a front end without windows can drive the real one.
#include <string>

// The window that a run's progress and questions belong to. Core never looks inside: the
// windowing layer above puts its own window in and takes it out again. Empty: no owner.
struct OwnerWindow {
    void* window = nullptr;
};

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
    // cancelled: 1 when every file arrived, 0 otherwise. A file whose server told neither
    // its size nor its digest counts as arrived, though nothing proves it whole: the engine
    // names it in the run's message, and the caller checks it (a signature) before use.
    virtual int DownloadFiles(OwnerWindow owner) = 0;
};
