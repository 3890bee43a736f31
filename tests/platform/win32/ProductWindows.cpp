// Stands in for the running products: creates, and never shows, the editor's instance
// window and the web server's window with its status children, then waits to be ended.
// The first argument is the server's status text.
#include <windows.h>

namespace {

constexpr const char* kEditorClass = "TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]";
constexpr const char* kEditorTitle = "RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]";
constexpr const char* kServerClass = "TServerForm";
constexpr const char* kServerTitle = "Corvalite Webserver";

bool Register(const char* name) {
    WNDCLASSA type{};
    type.lpfnWndProc = DefWindowProcA;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = name;
    return RegisterClassA(&type) != 0;
}

HWND Make(const char* type, const char* text, HWND parent) {
    const DWORD style = parent ? WS_CHILD : WS_OVERLAPPEDWINDOW;
    return CreateWindowExA(0, type, text, style, 0, 0, 200, 100, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const char* status = argc > 1 ? argv[1] : "Running";
    if (!Register(kEditorClass) || !Register(kServerClass) || !Register("TPanel") ||
        !Register("TStaticText"))
        return 2;
    const HWND server = Make(kServerClass, kServerTitle, nullptr);
    // A child of another class first, then the status, then a second status that is never read.
    if (!server || !Make("TPanel", "Panel", server) || !Make("TStaticText", status, server) ||
        !Make("TStaticText", "Second", server) || !Make(kEditorClass, kEditorTitle, nullptr))
        return 3;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
