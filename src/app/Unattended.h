#pragma once
// The program without its window: `update --list`, `--install NAME…`, `--restore NAME…`,
// `--help`, `--version`, for scripts, scheduled tasks and remote shells. It needs no display.
#include <optional>

// Exit statuses; the first failure decides when several components fail.
enum ExitStatus : int {
    kExitOk = 0,
    kExitNotInstalled = 1,  // no such component, no product to place it in, not placed or started;
                            // nothing kept to restore, or not put back
    kExitUsage = 2,
    kExitDownloadFailed = 3,  // offline, the catalogue or the component did not arrive
    kExitRefused = 4,         // the file failed the signature check, or its name is unsafe
    kExitProductRunning = 5,
};

// The exit status when the arguments ask for the unattended mode; nothing when the window
// is wanted (no argument beginning with "--").
std::optional<int> RunUnattended(int argc, char** argv);
