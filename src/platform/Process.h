#pragma once
// Starting other programs without waiting for them and without a shell, so no file name is
// ever parsed as a command line.
#include <string>
#include <vector>

namespace platform {

// Starts a downloaded program without waiting for it: on Windows through CreateProcessW with the
// path quoted as the whole command line; elsewhere a Windows program through wine when wine is on
// PATH, anything else (or everything, without wine) through the desktop's opener.
bool StartProgram(const std::string& path);

#ifndef _WIN32
// Runs argv[0] (looked up on PATH when it holds no delimiter) with exactly these arguments,
// detached from us: the call returns at once and the child is reaped when it ends.
// False when the program could not be started (missing, not executable, empty argv).
bool SpawnDetached(const std::vector<std::string>& argv);

// --- Pieces of StartProgram, exposed for tests -----------------------------------------------

// A PE image ("MZ" header pointing at "PE\0\0"), or a name ending in ".exe" in any case.
bool IsWindowsProgram(const std::string& path);

// The full path of an executable file called name in one of PATH's folders; empty if none.
std::string FindOnPath(const std::string& name);

// The argument vector that starts path: wine's when winePath is given and path is a Windows
// program, otherwise the opener's. A relative path starting with "-" gets a "./" so no
// starter reads it as an option.
std::vector<std::string> StartArguments(const std::string& path, bool windowsProgram,
                                        const std::string& winePath, const std::string& openerPath);
#endif

}  // namespace platform
