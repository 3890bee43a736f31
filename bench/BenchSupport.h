#pragma once
// What every benchmark binary shares: an offscreen Qt application around Google Benchmark,
// our own --name=value flags taken out before the library sees the rest, and the process's
// peak resident memory.
#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

// Peak resident set size of this process so far (VmHWM), in KiB; 0 when unknown.
long PeakRssKiB();

// Our own flags ("--size=1000") by name; everything else goes on to Google Benchmark.
using Flags = std::map<std::string, std::string>;

// Makes the QApplication (offscreen unless QT_QPA_PLATFORM says otherwise), takes out the
// flags named in `ours`, lets `registerBenchmarks` register with them, then runs them all.
// `cleanUp` runs while the application still exists (widgets must go before it).
int RunMain(int argc, char** argv, const std::vector<std::string>& ours,
            const std::function<void(const Flags&)>& registerBenchmarks,
            const std::function<void()>& cleanUp = {});

// The flag's value as a number, or `fallback` when it is absent.
long FlagNumber(const Flags& flags, const std::string& name, long fallback);
std::string FlagText(const Flags& flags, const std::string& name, const std::string& fallback);

}  // namespace bench
