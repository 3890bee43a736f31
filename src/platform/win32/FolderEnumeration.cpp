#include "platform/FolderEnumeration.h"

#include <windows.h>

#include <string>

#include "platform/win32/Wide.h"

namespace platform {
namespace {

class FindHandle {
  public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

}  // namespace

// The system matches the mask and reports the attributes; we only apply the filter.
std::vector<FolderEntry> FindEntries(std::string_view pattern, FindFilter filter) {
    std::vector<FolderEntry> entries;
    const std::wstring text = win32::Wide(pattern);
    WIN32_FIND_DATAW found{};
    const FindHandle search(FindFirstFileW(text.c_str(), &found));
    if (!search.valid()) return entries;
    do {
        const std::uint32_t attributes = found.dwFileAttributes;
        if (!LeftOutBy(filter, attributes))
            entries.push_back({win32::Utf8(found.cFileName), attributes});
    } while (FindNextFileW(search.get(), &found));
    return entries;
}

}  // namespace platform
