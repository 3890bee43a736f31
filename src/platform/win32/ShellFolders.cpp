// The shell's folder picker, step by step as the options dialog has always used it.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "platform/win32/Shell.h"
#include "platform/win32/Wide.h"

namespace platform::win32 {
namespace {

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using ComObject = std::unique_ptr<T, ComRelease>;

// Memory of the shell's allocator, given back to it on every way out.
class ShellMemory {
  public:
    ShellMemory(IMalloc& allocator, void* block) : allocator_(allocator), block_(block) {}
    ~ShellMemory() {
        if (block_ != nullptr) allocator_.Free(block_);
    }
    ShellMemory(const ShellMemory&) = delete;
    ShellMemory& operator=(const ShellMemory&) = delete;
    void* get() const { return block_; }

  private:
    IMalloc& allocator_;
    void* block_;
};

// Disables the thread's other enabled, visible top-level windows while the picker runs and
// enables exactly those again, also when the picker ends abnormally.
class OtherWindowsDisabled {
  public:
    OtherWindowsDisabled() {
        EnumThreadWindows(GetCurrentThreadId(), &OtherWindowsDisabled::DisableOne,
                          reinterpret_cast<LPARAM>(this));
    }
    ~OtherWindowsDisabled() {
        for (HWND window : disabled_) EnableWindow(window, TRUE);
    }
    OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
    OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

  private:
    static BOOL CALLBACK DisableOne(HWND window, LPARAM self) {
        if (IsWindowVisible(window) && IsWindowEnabled(window)) {
            EnableWindow(window, FALSE);
            reinterpret_cast<OtherWindowsDisabled*>(self)->disabled_.push_back(window);
        }
        return TRUE;
    }
    std::vector<HWND> disabled_;
};

// OLE for this thread while the picker runs; each successful start is matched by an end.
class OleSession {
  public:
    OleSession() : started_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleSession() {
        if (started_) OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

  private:
    bool started_;
};

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM callerData) {
    if (message == BFFM_INITIALIZED) SendMessageW(window, BFFM_SETSELECTIONW, 1, callerData);
    return 0;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The desktop folder's reading of rootPath; null (the desktop itself) when it has none.
LPITEMIDLIST ParseRoot(HWND owner, const std::wstring& rootPath, ComObject<IShellFolder>& desktop) {
    if (rootPath.empty()) return nullptr;
    IShellFolder* folder = nullptr;
    if (FAILED(SHGetDesktopFolder(&folder)) || folder == nullptr) return nullptr;
    desktop.reset(folder);
    std::wstring text = rootPath;  // the call wants a writable text
    LPITEMIDLIST root = nullptr;
    ULONG eaten = 0;
    desktop->ParseDisplayName(owner, nullptr, text.data(), &eaten, &root, nullptr);
    return root;
}

}  // namespace

bool BrowseForFolder(OwnerWindow owner, const std::string& caption, const std::wstring& rootPath,
                     std::string& folder, unsigned flags) {
    if (!IsFolder(folder)) folder.clear();
    IMalloc* shellAllocator = nullptr;
    if (FAILED(SHGetMalloc(&shellAllocator)) || shellAllocator == nullptr) return false;
    const ComObject<IMalloc> allocator(shellAllocator);
    const ShellMemory buffer(*allocator, allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
    if (buffer.get() == nullptr) return false;
    const HWND ownerWindow = reinterpret_cast<HWND>(owner);
    ComObject<IShellFolder> desktop;
    const ShellMemory root(*allocator, ParseRoot(ownerWindow, rootPath, desktop));
    const OleSession ole;

    const std::wstring title = Wide(caption);
    const std::wstring preselected = Wide(folder);
    BROWSEINFOW info{};
    info.hwndOwner = ownerWindow;
    info.pidlRoot = static_cast<LPCITEMIDLIST>(root.get());
    info.pszDisplayName = static_cast<wchar_t*>(buffer.get());
    info.lpszTitle = title.c_str();
    info.ulFlags = flags;
    info.lpfn = &BrowseCallback;
    info.lParam = folder.empty() ? 0 : reinterpret_cast<LPARAM>(preselected.c_str());
    LPITEMIDLIST picked = nullptr;
    {
        const OtherWindowsDisabled modal;
        picked = SHBrowseForFolderW(&info);
    }
    if (picked == nullptr) return false;
    const ShellMemory pickedList(*allocator, picked);
    auto* path = static_cast<wchar_t*>(buffer.get());
    path[0] = L'\0';
    SHGetPathFromIDListW(picked, path);
    folder = Utf8(path);
    return true;
}

}  // namespace platform::win32
