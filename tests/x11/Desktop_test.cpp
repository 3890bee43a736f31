// Window lookup against real windows on a private X server, once without a window manager and
// once under openbox, which wraps every client in a frame of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/Unit1Probes.h"
#include "core/srunner.h"
#include "platform/Desktop.h"
#include "platform/posix/XSession.h"
#include "support/ChildProcess.h"
#include "support/Poll.h"
#include "support/TempDir.h"
#include "support/VirtualDisplay.h"

// Xlib last: its macros (None, Status, True …) would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr const char* kServerTitle = "Corvalite Webserver";
constexpr const char* kEditorClass = "TInstanceManager[{84E5590F-45D5-4688-BACC-5206DC9AC990}]";
constexpr const char* kEditorTitle = "RAZE [{1966A98B-6E27-467D-A520-0C7061650A0A}]";

VirtualDisplay* SharedServer(std::string& whyNot) {
    static std::string reason;
    static const std::unique_ptr<VirtualDisplay> server = VirtualDisplay::Start(reason);
    whyNot = reason;
    return server.get();
}

// The test's own reads may meet windows that are gone (a killed window manager's); those
// errors must not end the test binary.
class IgnoreXErrors {
  public:
    explicit IgnoreXErrors(Display* display)
        : display_(display),
          previous_(XSetErrorHandler([](Display*, XErrorEvent*) { return 0; })) {}
    ~IgnoreXErrors() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    IgnoreXErrors(const IgnoreXErrors&) = delete;
    IgnoreXErrors& operator=(const IgnoreXErrors&) = delete;

  private:
    Display* display_;
    XErrorHandler previous_;
};

// The test's own connection, making windows the way a program does.
class XClient {
  public:
    explicit XClient(const std::string& name) : display_(XOpenDisplay(name.c_str())) {}
    ~XClient() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    Display* get() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }

    Window Make(Window parent, const char* className, const char* wmName) {
        const Window w = XCreateSimpleWindow(display_, parent, 10, 10, 200, 100, 0, 0, 0);
        std::string resClass = className;
        std::string resName = "probe-test";
        XClassHint hint{resName.data(), resClass.data()};
        XSetClassHint(display_, w, &hint);
        if (wmName != nullptr) XStoreName(display_, w, wmName);
        XSync(display_, False);
        return w;
    }
    Window Child(Window parent, const char* className, const char* text) {
        const Window w = Make(parent, className, text);
        XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }
    void SetText(Window w, const char* text) {
        XStoreName(display_, w, text);
        XSync(display_, False);
    }
    void SetNetWmName(Window w, const std::string& utf8) {
        XChangeProperty(display_, w, Intern("_NET_WM_NAME"), Intern("UTF8_STRING"), 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()),
                        static_cast<int>(utf8.size()));
        XSync(display_, False);
    }
    // Asks the window manager, as a pager would, to move the window to another desktop.
    void SendToDesktop(Window w, long desktop) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = Intern("_NET_WM_DESKTOP");
        e.xclient.format = 32;
        e.xclient.data.l[0] = desktop;
        e.xclient.data.l[1] = 2;  // source: a pager
        XSendEvent(display_, root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XSync(display_, False);
    }
    void MarkAsManagedClient(Window w) {
        const Atom state = Intern("WM_STATE");
        const long normal[2] = {NormalState, static_cast<long>(None)};
        XChangeProperty(display_, w, state, state, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(normal), 2);
        XSync(display_, False);
    }
    void Destroy(Window w) {
        XDestroyWindow(display_, w);
        XSync(display_, False);
    }

    std::vector<Window> WindowsIn(Window w, const char* property) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::vector<Window> result;
        const IgnoreXErrors guard(display_);
        if (XGetWindowProperty(display_, w, Intern(property), 0, 4096, False, XA_WINDOW, &type,
                               &format, &count, &after, &data) == Success &&
            data != nullptr && format == 32) {
            const auto* ids = reinterpret_cast<const unsigned long*>(data);
            result.assign(ids, ids + count);
        }
        if (data != nullptr) XFree(data);
        return result;
    }
    bool Viewable(Window w) {
        XWindowAttributes a{};
        const IgnoreXErrors guard(display_);
        return XGetWindowAttributes(display_, w, &a) != 0 && a.map_state == IsViewable;
    }
    bool Managed(Window w) {
        for (const Window c : WindowsIn(root(), "_NET_CLIENT_LIST"))
            if (c == w) return true;
        return false;
    }
    bool WindowManagerRunning() {
        const auto check = WindowsIn(root(), "_NET_SUPPORTING_WM_CHECK");
        return !check.empty() && WindowsIn(check.front(), "_NET_SUPPORTING_WM_CHECK") == check;
    }
    bool Iconic(Window w) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        const Atom state = Intern("WM_STATE");
        bool iconic = false;
        const IgnoreXErrors guard(display_);
        if (XGetWindowProperty(display_, w, state, 0, 2, False, state, &type, &format, &count,
                               &after, &data) == Success &&
            data != nullptr && count > 0)
            iconic = reinterpret_cast<const unsigned long*>(data)[0] == IconicState;
        if (data != nullptr) XFree(data);
        return iconic;
    }

  private:
    Atom Intern(const char* name) { return XInternAtom(display_, name, False); }
    Display* display_;
};

class DesktopOnX11 : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        std::string whyNot;
        server_ = SharedServer(whyNot);
        if (server_ == nullptr) GTEST_SKIP() << "no virtual X server for window tests: " << whyNot;
        setenv("DISPLAY", server_->name().c_str(), 1);
        x = std::make_unique<XClient>(server_->name());
        ASSERT_NE(x->get(), nullptr);
        if (GetParam()) StartWindowManager();
    }
    void TearDown() override {
        x.reset();  // its windows go with the connection
        if (wm_) wm_->Stop();
        unsetenv("DISPLAY");
    }

    void StartWindowManager() {
        wm_ = ChildProcess::Start({"openbox", "--sm-disable"}, {"DISPLAY=" + server_->name()});
        if (!wm_) GTEST_SKIP() << "openbox cannot be started";
        ASSERT_TRUE(
            testsupport::PollUntil([&] { return x->WindowManagerRunning() || wm_->Exited(); }));
        ASSERT_TRUE(x->WindowManagerRunning()) << "openbox ended early";
    }
    void StopWindowManager(int signal) {
        if (wm_) wm_->Stop(signal);
    }
    bool UnderWindowManager() const { return GetParam(); }

    // A top-level window on screen; under openbox only once it has been framed and listed.
    Window Shown(const char* className, const char* title) {
        const Window w = x->Make(x->root(), className, title);
        Show(w);
        return w;
    }
    void Show(Window w) {
        // A window manager that is still starting up may drop the map request, so ask again
        // now and then; mapping a window that is already on screen changes nothing.
        int polls = 0;
        EXPECT_TRUE(testsupport::PollUntil([&] {
            if (polls++ % 50 == 0) {
                XMapWindow(x->get(), w);
                XSync(x->get(), False);
            }
            return x->Viewable(w) && (!UnderWindowManager() || x->Managed(w));
        })) << "window never came on screen";
    }
    bool ServerRunning() {
        runner.Refresh();
        return runner.Running;
    }

    std::unique_ptr<XClient> x;
    std::unique_ptr<platform::Desktop> desktop = platform::OpenSessionDesktop();
    TServerRunner runner{"/opt/Zelmarock/corvalitesrv.exe", *desktop};

  private:
    VirtualDisplay* server_ = nullptr;
    std::optional<ChildProcess> wm_;
};

TEST_P(DesktopOnX11, ServerWindowOfAnyClassCountsWithoutStatusChild) {
    EXPECT_FALSE(ServerRunning());
    Shown("XTerm", "Corvalite");
    const Window server = Shown("SomeTool", kServerTitle);
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, server);
    EXPECT_FALSE(runner.StatusR);
    EXPECT_EQ(desktop->WindowTextOf(server, 255), kServerTitle);
    EXPECT_EQ(runner.Port, "8080");
}

TEST_P(DesktopOnX11, TitleCountsInOtherLetterCaseButNotWithExtraText) {
    Shown("TServerForm", "Corvalite Webserver - 8080");
    Shown("TServerForm", "[Corvalite Webserver]");
    Shown("TServerForm", "Corvalite");
    EXPECT_FALSE(ServerRunning());
    const Window server = Shown("TServerForm", "cORVALITE WEBSERVER");
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, server);
}

TEST_P(DesktopOnX11, StatusIsTheFirstStaticTextChildBeginningWithCapitalR) {
    const Window server = x->Make(x->root(), "TServerForm", kServerTitle);
    x->Child(server, "TPanel", "Running");
    const Window status = x->Child(server, "tstatictext", "Running on 8080");
    const Window second = x->Child(server, "TStaticText", "Stopped");
    x->Child(status, "TStaticText", "Stopped");  // below the status line: not a direct child
    Show(server);
    ASSERT_TRUE(ServerRunning());
    EXPECT_TRUE(runner.StatusR);
    for (const char* text : {"running", "", "Stopped", " Running"}) {
        x->SetText(status, text);
        ASSERT_TRUE(ServerRunning());
        EXPECT_FALSE(runner.StatusR) << '"' << text << '"';
    }
    x->SetText(second, "Running");
    ASSERT_TRUE(ServerRunning());
    EXPECT_FALSE(runner.StatusR) << "only the first status line is read";
    EXPECT_EQ(desktop->FindChildWindow(server, "TStaticText"), status);
    EXPECT_EQ(desktop->FindChildWindow(server, "TLabel"), 0u);
}

TEST_P(DesktopOnX11, UnicodeTitlesFromEitherProperty) {
    const std::string unicode =
        "Gr\xC3\xBC\xC3\x9F"
        "e aus \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x9A\x80";
    const Window modern = x->Make(x->root(), "TForm", nullptr);
    x->SetNetWmName(modern, unicode);
    Show(modern);
    EXPECT_EQ(desktop->FindTopLevelWindow(nullptr, unicode.c_str()), modern);
    EXPECT_EQ(desktop->WindowTextOf(modern, 255), unicode);

    // An old-style Latin-1 title comes back as UTF-8.
    const Window latin1 = Shown("TForm", "Caf\xE9 Corvalite");
    EXPECT_EQ(desktop->WindowTextOf(latin1, 255), "Caf\xC3\xA9 Corvalite");
    EXPECT_EQ(desktop->FindTopLevelWindow("tform", "CAF\xC3\xA9 corvalite"), latin1);

    // The UTF-8 title wins over the old one.
    const Window both = x->Make(x->root(), "TServerForm", "Legacy name");
    x->SetNetWmName(both, kServerTitle);
    Show(both);
    EXPECT_EQ(desktop->FindTopLevelWindow(nullptr, kServerTitle), both);
    EXPECT_EQ(desktop->FindTopLevelWindow(nullptr, "Legacy name"), 0u);

    // At most 255 bytes, and never half a character.
    const Window longTitle = x->Make(x->root(), "TForm", nullptr);
    x->SetNetWmName(longTitle, std::string(254, 'x') + "\xC3\xA9" + "tail");
    Show(longTitle);
    EXPECT_EQ(desktop->WindowTextOf(longTitle, 255), std::string(254, 'x'));
}

TEST_P(DesktopOnX11, NextRefreshAfterTheWindowHasGone) {
    const Window server = x->Make(x->root(), "TServerForm", kServerTitle);
    const Window status = x->Child(server, "TStaticText", "Running");
    Show(server);
    ASSERT_TRUE(ServerRunning());
    ASSERT_TRUE(runner.StatusR);

    x->Destroy(server);
    // Asked about windows that no longer exist, the desktop answers "none" and carries on.
    EXPECT_EQ(desktop->FindChildWindow(server, "TStaticText"), 0u);
    EXPECT_EQ(desktop->WindowTextOf(status, 255), "");
    EXPECT_FALSE(ServerRunning());
    EXPECT_FALSE(runner.StatusR);
    EXPECT_EQ(runner.ServerWindow, 0u);

    const Window restarted = Shown("TServerForm", kServerTitle);
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, restarted);
    EXPECT_FALSE(runner.StatusR);
}

TEST_P(DesktopOnX11, EditorNeedsItsClassAndTitleTogether) {
    Shown("TApplication", kEditorTitle);
    Shown(kEditorClass, "RAZE");
    EXPECT_FALSE(IsEditorRunning(*desktop));
    const Window editor = Shown(kEditorClass, kEditorTitle);
    EXPECT_TRUE(IsEditorRunning(*desktop));
    x->Destroy(editor);
    EXPECT_FALSE(IsEditorRunning(*desktop));
}

// A program's window counts however it stands: never shown (a typical instance window),
// minimised, on another desktop or withdrawn; under openbox too, whose client list names only
// the windows it manages.
TEST_P(DesktopOnX11, EveryTopLevelWindowCountsShownOrNot) {
    if (UnderWindowManager()) Shown("TForm", "Managed");  // openbox now lists a client
    const Window editor = x->Make(x->root(), kEditorClass, kEditorTitle);  // never mapped
    EXPECT_TRUE(IsEditorRunning(*desktop));
    EXPECT_EQ(desktop->FindTopLevelWindow(kEditorClass, kEditorTitle), editor);
    const Window hidden = x->Make(x->root(), "TServerForm", kServerTitle);
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, hidden);
    x->Destroy(hidden);
    if (!UnderWindowManager()) return;  // only a window manager minimises

    const Window minimised = Shown("TServerForm", kServerTitle);
    XIconifyWindow(x->get(), minimised, DefaultScreen(x->get()));
    XSync(x->get(), False);
    ASSERT_TRUE(
        testsupport::PollUntil([&] { return x->Iconic(minimised) && !x->Viewable(minimised); }));
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, minimised);
    x->Destroy(minimised);

    const Window elsewhere = Shown("TServerForm", kServerTitle);
    x->SendToDesktop(elsewhere, 1);
    ASSERT_TRUE(testsupport::PollUntil([&] { return !x->Viewable(elsewhere); }));
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, elsewhere);

    XWithdrawWindow(x->get(), elsewhere, DefaultScreen(x->get()));
    XSync(x->get(), False);
    ASSERT_TRUE(testsupport::PollUntil([&] { return !x->Managed(elsewhere); }));
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, elsewhere);
    x->Destroy(elsewhere);
    x->Destroy(editor);
    EXPECT_FALSE(ServerRunning());
    EXPECT_FALSE(IsEditorRunning(*desktop));
}

INSTANTIATE_TEST_SUITE_P(WindowManager, DesktopOnX11, ::testing::Values(false, true),
                         [](const auto& info) {
                             return info.param ? std::string("Openbox") : std::string("None");
                         });

class DesktopOnBareX11 : public DesktopOnX11 {};

// A window manager killed outright leaves its client list on the root window; windows
// created afterwards must still be found.
TEST_P(DesktopOnBareX11, ClientListOfADeadWindowManagerIsIgnored) {
    StartWindowManager();
    if (IsSkipped() || HasFatalFailure()) return;
    const Window earlier = Shown("TForm", "Before");
    ASSERT_TRUE(testsupport::PollUntil([&] { return x->Managed(earlier); }));
    const std::vector<Window> before = x->WindowsIn(x->root(), "_NET_CLIENT_LIST");
    ASSERT_FALSE(before.empty());
    StopWindowManager(SIGKILL);
    ASSERT_TRUE(testsupport::PollUntil([&] { return !x->WindowManagerRunning(); }));
    ASSERT_EQ(x->WindowsIn(x->root(), "_NET_CLIENT_LIST"), before) << "the stale list is gone";

    const Window server = x->Make(x->root(), "TServerForm", kServerTitle);
    XMapWindow(x->get(), server);
    XSync(x->get(), False);
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, server);
}

// A window manager without the client list still marks its clients with WM_STATE, inside
// frames of its own; the lookup looks below the frame for the client.
TEST_P(DesktopOnBareX11, ClientInsideAFrameWithoutClientList) {
    const Window frame = x->Make(x->root(), "", nullptr);
    const Window client = x->Make(frame, "TServerForm", kServerTitle);
    x->MarkAsManagedClient(client);
    x->Child(client, "TStaticText", "Running");
    XMapWindow(x->get(), client);
    Show(frame);
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, client);
    EXPECT_TRUE(runner.StatusR);
}

// Some window managers keep a window on another desktop unmapped in its normal state; its
// program runs on. (Openbox marks such windows minimised, so this is played by hand.)
TEST_P(DesktopOnBareX11, UnmappedWindowInNormalStateCounts) {
    const Window server = x->Make(x->root(), "TServerForm", kServerTitle);
    x->MarkAsManagedClient(server);
    EXPECT_TRUE(ServerRunning());
    EXPECT_EQ(runner.ServerWindow, server);
}

INSTANTIATE_TEST_SUITE_P(NoWindowManager, DesktopOnBareX11, ::testing::Values(false));

int gCustomErrors = 0;
int CustomErrorHandler(Display*, XErrorEvent*) {
    return ++gCustomErrors, 0;
}
int CustomIoErrorHandler(Display*) {
    return 0;
}

TEST_P(DesktopOnBareX11, TheProgramsOwnXErrorHandlersComeBack) {
    const XErrorHandler before = XSetErrorHandler(&CustomErrorHandler);
    const XIOErrorHandler ioBefore = XSetIOErrorHandler(&CustomIoErrorHandler);
    const Window gone = x->Make(x->root(), "TForm", "gone");
    x->Destroy(gone);
    EXPECT_EQ(desktop->WindowTextOf(gone, 255), "");
    EXPECT_EQ(desktop->FindChildWindow(gone, nullptr), 0u);
    EXPECT_EQ(gCustomErrors, 0) << "errors of the lookup reached the program's handler";
    EXPECT_EQ(XSetErrorHandler(before), &CustomErrorHandler);
    EXPECT_EQ(XSetIOErrorHandler(ioBefore), &CustomIoErrorHandler);
}

// One MIT-MAGIC-COOKIE-1 entry in the Xauthority format: big-endian lengths before each part.
std::string CookieFile() {
    const auto part = [](const std::string& bytes) {
        return std::string{static_cast<char>(bytes.size() >> 8), static_cast<char>(bytes.size())} +
               bytes;
    };
    const std::string familyLocal{'\x01', '\x00'};
    return familyLocal + part("localhost") + part("0") + part("MIT-MAGIC-COOKIE-1") +
           part("0123456789abcdef");
}

// Without a usable display every lookup answers "no window" and says nothing.
class DesktopWithoutDisplay : public ::testing::Test {
  protected:
    void TearDown() override {
        unsetenv("DISPLAY");
        unsetenv("XAUTHORITY");
    }
    void ExpectNoWindowAndSilence(const char* situation) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const auto desktop = platform::OpenSessionDesktop();
        TServerRunner runner{"", *desktop};
        runner.Refresh();
        const bool editor = IsEditorRunning(*desktop);
        const auto any = desktop->FindTopLevelWindow(nullptr, nullptr);
        const auto child = desktop->FindChildWindow(1, nullptr);
        const auto text = desktop->WindowTextOf(1, 255);
        const std::string out = ::testing::internal::GetCapturedStdout();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(runner.Running) << situation;
        EXPECT_FALSE(editor) << situation;
        EXPECT_EQ(any, 0u) << situation;
        EXPECT_EQ(child, 0u) << situation;
        EXPECT_EQ(text, "") << situation;
        EXPECT_EQ(out + err, "") << situation;
    }
};

TEST_F(DesktopWithoutDisplay, NoDisplayUnreachableDisplayOrRefusedConnection) {
    unsetenv("DISPLAY");
    ExpectNoWindowAndSilence("DISPLAY unset");
    setenv("DISPLAY", "", 1);
    ExpectNoWindowAndSilence("DISPLAY empty");
    int unused = 4000;
    struct stat st {};
    while (stat(("/tmp/.X11-unix/X" + std::to_string(unused)).c_str(), &st) == 0) ++unused;
    setenv("DISPLAY", (":" + std::to_string(unused)).c_str(), 1);
    ExpectNoWindowAndSilence("no server at the display");

    // A server holding a cookie we lack refuses us, and Xlib would print the server's reason.
    const TempDir dir;
    const std::string serverCookies = dir.Write("server.auth", CookieFile());
    const std::string ourCookies = dir.Write("client.auth", "");
    std::string whyNot;
    const auto strict = VirtualDisplay::Start(whyNot, {"-auth", serverCookies});
    if (strict == nullptr) GTEST_SKIP() << "no virtual X server for the refusal case: " << whyNot;
    setenv("DISPLAY", strict->name().c_str(), 1);
    setenv("XAUTHORITY", ourCookies.c_str(), 1);
    ::testing::internal::CaptureStderr();
    Display* const plain = XOpenDisplay(nullptr);
    const std::string reason = ::testing::internal::GetCapturedStderr();
    if (plain != nullptr) XCloseDisplay(plain);
    ASSERT_EQ(plain, nullptr) << "the server let us in; the refusal is not tested";
    ASSERT_NE(reason, "") << "Xlib stays silent by itself; the refusal proves nothing";
    ExpectNoWindowAndSilence("server refuses the connection");
}

// The X server going away in the middle of a lookup must not end the program, which is what
// Xlib does by default.
TEST(XSession, ServerLostMidLookupIsSurvivedQuietly) {
    std::string whyNot;
    auto doomed = VirtualDisplay::Start(whyNot);
    if (doomed == nullptr) GTEST_SKIP() << "no virtual X server: " << whyNot;
    setenv("DISPLAY", doomed->name().c_str(), 1);
    ::testing::internal::CaptureStderr();
    {
        const platform::x11::XSession session;
        ASSERT_NE(session.display(), nullptr);
        doomed->Stop();
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        EXPECT_EQ(XQueryTree(session.display(), DefaultRootWindow(session.display()), &root,
                             &parent, &children, &count),
                  0);
        EXPECT_TRUE(session.lost());
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(platform::OpenSessionDesktop()->FindTopLevelWindow(nullptr, nullptr), 0u);
    unsetenv("DISPLAY");
}

}  // namespace
