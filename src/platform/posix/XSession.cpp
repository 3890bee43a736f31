#include "platform/posix/XSession.h"

#include <xcb/xcb.h>

namespace platform::x11 {
namespace {

int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}
int IgnoreIoError(Display*) {
    return 0;
}

// Xlib prints the server's refusal (a missing authorisation, say) when it cannot connect; a
// silent xcb attempt first keeps a probe quiet on a desktop it may not use.
bool ServerAcceptsUs() {
    xcb_connection_t* const connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
}

}  // namespace

XSession::XSession() {
    if (!ServerAcceptsUs()) return;
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) return;
    previousErrorHandler_ = XSetErrorHandler(&IgnoreError);
    previousIoErrorHandler_ = XSetIOErrorHandler(&IgnoreIoError);
    // Returning from this handler, instead of Xlib's default exit, keeps the program alive
    // when the server goes away in the middle of a lookup.
    XSetIOErrorExitHandler(display_, &XSession::OnConnectionLost, this);
}

XSession::~XSession() {
    if (display_ == nullptr) return;
    // Errors of requests still in flight must reach our handler, not the previous one.
    if (!lost_) XSync(display_, False);
    XCloseDisplay(display_);
    XSetIOErrorHandler(previousIoErrorHandler_);
    XSetErrorHandler(previousErrorHandler_);
}

void XSession::OnConnectionLost(Display*, void* session) {
    static_cast<XSession*>(session)->lost_ = true;
}

}  // namespace platform::x11
