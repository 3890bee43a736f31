#include "ProductWindows.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/Wide.h"

struct ProductWindows::Running {
    PROCESS_INFORMATION process{};
    ~Running() {
        if (process.hProcess == nullptr) return;
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
};

ProductWindows::ProductWindows(const std::string& status) {
    std::wstring commandLine = platform::win32::Wide(std::string("\"") + CORVALITE_PRODUCT_WINDOWS +
                                                     "\" \"" + status + '"');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    auto running = std::make_unique<Running>();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &running->process))
        running->process = {};
    else
        running_ = std::move(running);
}
#else
#include <optional>

#include "support/ChildProcess.h"
#include "support/ScopedEnvironment.h"
#include "support/VirtualDisplay.h"

struct ProductWindows::Running {
    std::unique_ptr<VirtualDisplay> display;
    ScopedEnvironment environment;
    std::optional<ChildProcess> program;
    ~Running() {
        if (program) program->Stop();
    }
};

ProductWindows::ProductWindows(const std::string& status) {
    auto running = std::make_unique<Running>();
    running->display = VirtualDisplay::Start(skipReason_);
    if (!running->display) return;
    running->environment.Set("DISPLAY", running->display->name());
    running->program = ChildProcess::Start({CORVALITE_PRODUCT_WINDOWS, status});
    if (running->program) running_ = std::move(running);
}
#endif

ProductWindows::~ProductWindows() = default;

// Ends the program; on X the display stays until the object goes, so the lookups still see
// that the windows have gone rather than that the display has.
void ProductWindows::End() {
#ifdef _WIN32
    running_.reset();
#else
    if (running_ && running_->program) {
        running_->program->Stop();
        running_->program.reset();
    }
#endif
}
