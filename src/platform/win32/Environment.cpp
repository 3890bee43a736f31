#include "platform/Environment.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

std::optional<std::string> EnvironmentVariable(const std::string& name) {
    const std::wstring wideName = win32::Wide(name);
    std::wstring value(64, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length =
            GetEnvironmentVariableW(wideName.c_str(), value.data(), DWORD(value.size()));
        // 0 is also the length of a value set but empty; only the error tells them apart.
        if (length == 0)
            return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                            : std::optional<std::string>("");
        // Too small: the length returned counts the terminating zero.
        if (length >= value.size()) {
            value.resize(length);
            continue;
        }
        value.resize(length);
        return win32::Utf8(value);
    }
}

void PutEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
    const std::wstring wideName = win32::Wide(name);
    if (value) {
        const std::wstring wideValue = win32::Wide(*value);
        SetEnvironmentVariableW(wideName.c_str(), wideValue.c_str());
    } else {
        SetEnvironmentVariableW(wideName.c_str(), nullptr);
    }
}

}  // namespace platform
