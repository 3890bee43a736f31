// Stands in for the running products: creates, and never shows, the editor's instance
// window and the web server's window with its status children, then waits to be ended.
// The first argument is the server's status text. Wide windows throughout, so a status
// outside the code page is kept as given.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

namespace {

constexpr const wchar_t* kEditorClass = L"TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]";
constexpr const wchar_t* kEditorTitle = L"RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]";
constexpr const wchar_t* kServerClass = L"TServerForm";
constexpr const wchar_t* kServerTitle = L"Corvalite Webserver";

bool Register(const wchar_t* name) {
    WNDCLASSW type{};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = name;
    return RegisterClassW(&type) != 0;
}

HWND Make(const wchar_t* type, const wchar_t* text, HWND parent) {
    const DWORD style = parent ? WS_CHILD : WS_OVERLAPPEDWINDOW;
    return CreateWindowExW(0, type, text, style, 0, 0, 200, 100, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t* status = argv != nullptr && argc > 1 ? argv[1] : L"Running";
    if (!Register(kEditorClass) || !Register(kServerClass) || !Register(L"TPanel") ||
        !Register(L"TStaticText"))
        return 2;
    const HWND server = Make(kServerClass, kServerTitle, nullptr);
    // A child of another class first, then the status, then a second status that is never read.
    if (!server || !Make(L"TPanel", L"Panel", server) || !Make(L"TStaticText", status, server) ||
        !Make(L"TStaticText", L"Second", server) || !Make(kEditorClass, kEditorTitle, nullptr))
        return 3;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
