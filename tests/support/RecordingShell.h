#pragma once
// A shell for tests: records what the program asked of it; picking and moving are
// scripted or done for real on the file system.
#include <functional>
#include <string>
#include <vector>

#include "gui/Shell.h"

class RecordingShell : public gui::Shell {
  public:
    std::vector<std::string> explored;
    std::vector<std::string> started;
    struct Transfer {
        std::vector<std::string> files;
        std::string folder;
        bool move;
    };
    std::vector<Transfer> transfers;
    // Answers the picker: return true and set folder to pick; unset: cancelled.
    std::function<bool(const std::string& caption, std::string& folder, unsigned flags)> picker;
    bool performTransfers = true;  // really move/copy the files (no prompts)
    // Does each transfer instead when set (a move across file systems, say); true when done.
    std::function<bool(const std::string& file, const std::string& target)> transfer;

    void ExploreFolder(const std::string& folder) override { explored.push_back(folder); }
    bool StartProgram(const std::string& path) override {
        started.push_back(path);
        return true;
    }
    bool PickFolder(QWidget*, const std::string& caption, std::string& folder,
                    unsigned flags) override {
        return picker ? picker(caption, folder, flags) : false;
    }
    bool TransferFiles(QWidget* owner, const std::vector<std::string>& files,
                       const std::string& folder, bool move) override;
};
