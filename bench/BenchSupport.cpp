#include "BenchSupport.h"

#include <QApplication>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

namespace bench {

long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

namespace {

// Removes "--name=value" for every name in `ours` from argv, keeping the rest in order.
Flags TakeFlags(int& argc, char** argv, const std::vector<std::string>& ours) {
    Flags flags;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool taken = false;
        for (const auto& name : ours) {
            const std::string prefix = "--" + name + "=";
            if (arg.rfind(prefix, 0) == 0) {
                flags[name] = std::string(arg.substr(prefix.size()));
                taken = true;
            }
        }
        if (!taken) argv[kept++] = argv[i];
    }
    argc = kept;
    return flags;
}

}  // namespace

int RunMain(int argc, char** argv, const std::vector<std::string>& ours,
            const std::function<void(const Flags&)>& registerBenchmarks,
            const std::function<void()>& cleanUp) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const Flags flags = TakeFlags(argc, argv, ours);
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerBenchmarks(flags);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (cleanUp) cleanUp();
    return 0;
}

long FlagNumber(const Flags& flags, const std::string& name, long fallback) {
    const auto it = flags.find(name);
    return it == flags.end() ? fallback : std::strtol(it->second.c_str(), nullptr, 10);
}

std::string FlagText(const Flags& flags, const std::string& name, const std::string& fallback) {
    const auto it = flags.find(name);
    return it == flags.end() ? fallback : it->second;
}

}  // namespace bench
