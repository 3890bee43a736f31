#include "platform/posix/XWindowInfo.h"

#include <X11/Xutil.h>

#include <memory>
#include <optional>

namespace platform::x11 {
namespace {

struct XFreeDeleter {
    void operator()(void* data) const {
        if (data != nullptr) XFree(data);
    }
};
template <class T>
using XPtr = std::unique_ptr<T, XFreeDeleter>;

// Longest property read, in 32-bit units; far beyond any title we compare against.
constexpr long kMaxPropertyUnits = 16384;
constexpr int kMaxFrameDepth = 3;  // frame, perhaps a wrapper, then the client

struct Property {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    XPtr<unsigned char> data;
};

Atom ExistingAtom(Display* display, const char* name) {
    return XInternAtom(display, name, True);
}

std::optional<Property> ReadProperty(Display* display, Window window, Atom name, Atom type) {
    if (name == None || type == None) return std::nullopt;  // None would mean "any type"
    Property p;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, name, 0, kMaxPropertyUnits, False, type,
                                          &p.type, &p.format, &p.items, &bytesAfter, &data);
    p.data.reset(data);
    if (status != Success || p.type != type || p.data == nullptr) return std::nullopt;
    return p;
}

// ICCCM: the window manager's record of a client; 1 normal, 3 iconic.
std::optional<unsigned long> WmState(Display* display, Window window) {
    const Atom wmState = ExistingAtom(display, "WM_STATE");
    const auto p = ReadProperty(display, window, wmState, wmState);
    if (!p || p->format != 32 || p->items == 0) return std::nullopt;
    return reinterpret_cast<const unsigned long*>(p->data.get())[0];
}

Window FindClient(Display* display, Window window, int depth) {
    if (WmState(display, window)) return window;
    if (depth == 0) return None;
    for (const Window child : ChildrenOf(display, window)) {
        if (const Window client = FindClient(display, child, depth - 1); client != None)
            return client;
    }
    return None;
}

std::string NetWmName(Display* display, Window window) {
    const auto p = ReadProperty(display, window, ExistingAtom(display, "_NET_WM_NAME"),
                                ExistingAtom(display, "UTF8_STRING"));
    if (!p || p->format != 8) return {};
    return std::string(reinterpret_cast<const char*>(p->data.get()), p->items);
}

std::string WmName(Display* display, Window window) {
    XTextProperty text{};
    if (XGetWMName(display, window, &text) == 0) return {};
    const XPtr<unsigned char> owned(text.value);
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(display, &text, &list, &count) < Success || list == nullptr)
        return {};
    std::string title = count > 0 ? std::string(list[0]) : std::string();
    XFreeStringList(list);
    return title;
}

}  // namespace

std::vector<Window> ChildrenOf(Display* display, Window window) {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return {};
    const XPtr<Window> owned(children);
    return children == nullptr ? std::vector<Window>()
                               : std::vector<Window>(children, children + count);
}

Window ClientBelow(Display* display, Window topLevel) {
    const Window client = FindClient(display, topLevel, kMaxFrameDepth);
    return client != None ? client : topLevel;
}

std::string TitleOf(Display* display, Window window) {
    std::string title = NetWmName(display, window);
    return title.empty() ? WmName(display, window) : title;
}

std::string ClassOf(Display* display, Window window) {
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) == 0) return {};
    const XPtr<char> name(hint.res_name);
    const XPtr<char> cls(hint.res_class);
    return cls ? std::string(cls.get()) : std::string();
}

}  // namespace platform::x11
