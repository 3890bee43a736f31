#include "platform/FileHolders.h"

#include <windows.h>
// windows.h first: the Restart Manager's header needs its types.
#include <restartmanager.h>

#include <algorithm>

#include "platform/win32/Wide.h"

namespace platform {

std::vector<std::string> ProgramsHolding(const std::string& pathUtf8) {
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) return {};
    std::vector<std::string> names;
    const std::wstring path = win32::Wide(pathUtf8);
    LPCWSTR files[] = {path.c_str()};
    if (RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        std::vector<RM_PROCESS_INFO> found(4);
        UINT needed = 0;
        DWORD reasons = 0;
        DWORD status = ERROR_MORE_DATA;
        // The list may grow between the two calls; a few rounds settle it.
        for (int round = 0; round < 3 && status == ERROR_MORE_DATA; ++round) {
            UINT count = UINT(found.size());
            status = RmGetList(session, &needed, &count, found.data(), &reasons);
            if (status == ERROR_MORE_DATA) {
                found.resize(needed + 4);
                continue;
            }
            found.resize(status == ERROR_SUCCESS ? count : 0);
        }
        if (status != ERROR_SUCCESS) found.clear();
        const DWORD self = GetCurrentProcessId();
        for (const RM_PROCESS_INFO& process : found) {
            if (process.Process.dwProcessId == self) continue;
            const std::string name = win32::Utf8(process.strAppName);
            if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        }
    }
    RmEndSession(session);
    return names;
}

}  // namespace platform
