#pragma once
// Waiting for another program or the window manager, which answer in their own time. The bound
// only keeps a broken run from hanging: it is generous for a loaded machine, and a test that
// reaches it fails.
#include <chrono>
#include <thread>

namespace testsupport {

template <typename Condition>
bool PollUntil(Condition done, std::chrono::milliseconds bound = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace testsupport
