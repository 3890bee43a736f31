#include "platform/posix/XSession.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform::x11 {
namespace {

int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}
int IgnoreIoError(Display*) {
    return 0;
}

// A server that refuses us (a cookie we lack, say) sends a reason, and the X libraries write
// it straight to stderr. A probe must stay silent, so stderr points at /dev/null for the
// moment of connecting; only output of another thread in that same instant would be lost.
class SilencedStderr {
  public:
    SilencedStderr() : saved_(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0)) {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~SilencedStderr() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    SilencedStderr(const SilencedStderr&) = delete;
    SilencedStderr& operator=(const SilencedStderr&) = delete;

  private:
    int saved_;
};

Display* OpenQuietly() {
    const SilencedStderr silence;
    return XOpenDisplay(nullptr);
}

}  // namespace

XSession::XSession() {
    display_ = OpenQuietly();
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
