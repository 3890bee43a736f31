// Stands in for the running products on an X display: the editor's instance window and the
// web server's window with its status children, mapped (X counts only those), then waits
// to be ended. The first argument is the server's status text.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

namespace {

constexpr const char* kEditorClass = "TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]";
constexpr const char* kEditorTitle = "RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]";

Window Make(Display* display, Window parent, const char* type, const char* text) {
    const Window window = XCreateSimpleWindow(display, parent, 0, 0, 200, 100, 0, 0, 0);
    std::string name = text, kind = type;
    XClassHint hint{name.data(), kind.data()};
    XSetClassHint(display, window, &hint);
    XStoreName(display, window, text);
    // The name in UTF-8 as desktops set it; WM_NAME alone is Latin-1.
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text), static_cast<int>(name.size()));
    XMapWindow(display, window);
    return window;
}

}  // namespace

int main(int argc, char** argv) {
    const char* status = argc > 1 ? argv[1] : "Running";
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 2;
    const Window root = DefaultRootWindow(display);
    const Window server = Make(display, root, "TServerForm", "Corvalite Webserver");
    Make(display, server, "TPanel", "Panel");
    Make(display, server, "TStaticText", status);
    Make(display, server, "TStaticText", "Second");
    Make(display, root, kEditorClass, kEditorTitle);
    XSync(display, False);
    for (XEvent event;;) XNextEvent(display, &event);
}
