#pragma once
// A private Xvfb server on a free display number, ended with the object.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"

class VirtualDisplay {
  public:
    // Nothing, with the reason in whyNot, when Xvfb is missing or does not come up.
    static std::unique_ptr<VirtualDisplay> Start(std::string& whyNot,
                                                 const std::vector<std::string>& extraArgs = {});

    VirtualDisplay(ChildProcess server, std::string name)
        : server_(std::move(server)), name_(std::move(name)) {}

    const std::string& name() const { return name_; }  // ":N", for DISPLAY
    void Stop() { server_.Stop(); }

  private:
    ChildProcess server_;
    std::string name_;
};
