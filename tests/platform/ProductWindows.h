#pragma once
// The helper program that makes the products' windows, running for the object's lifetime.
// On X it gets a private display of its own, which the test's lookups then use too.
#include <memory>
#include <string>

class ProductWindows {
  public:
    explicit ProductWindows(const std::string& status);
    ~ProductWindows();
    ProductWindows(const ProductWindows&) = delete;
    ProductWindows& operator=(const ProductWindows&) = delete;

    // Why the test cannot run here (no X server); empty otherwise.
    const std::string& skipReason() const { return skipReason_; }
    bool started() const { return running_ != nullptr; }
    void End();

  private:
    struct Running;
    std::unique_ptr<Running> running_;
    std::string skipReason_;
};
