// Start-up: from starting the process to its main window's first paint (offscreen), for
// the program (bench_startup_update), for a minimal Qt Widgets program that shows one
// empty window (bench_startup_minimal), for that window with one line of text
// (bench_startup_text), and for the main window's widgets alone, without the program's own
// work (bench_startup_widgets). Each child prints when it has painted; the time
// from just before the spawn to that moment is the iteration's time.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "BenchSupport.h"

extern char** environ;

namespace {

long long MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

// Runs the program to its first paint; the nanoseconds it took, or -1.
long long TimeToShown(const std::string& program) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t child = 0;
    const long long start = MonotonicNs();
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    long long shown = -1;
    if (spawned == 0) {
        if (FILE* out = fdopen(pipeEnds[0], "r")) {
            if (std::fscanf(out, "shown %lld", &shown) != 1) shown = -1;
            std::fclose(out);
            pipeEnds[0] = -1;
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) shown = -1;
    }
    if (pipeEnds[0] >= 0) close(pipeEnds[0]);
    return shown < 0 ? -1 : shown - start;
}

void StartUp(benchmark::State& state, const std::string& program) {
    for (auto _ : state) {
        const long long took = TimeToShown(program);
        if (took < 0) {
            state.SkipWithError(("no first paint from " + program).c_str());
            break;
        }
        state.SetIterationTime(static_cast<double>(took) / 1e9);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunMain(argc, argv, {}, [](const bench::Flags&) {
        const std::pair<const char*, const char*> programs[] = {
            {"startup/minimal", CORVALITE_BENCH_MINIMAL},
            {"startup/text", CORVALITE_BENCH_TEXT},
            {"startup/widgets", CORVALITE_BENCH_WIDGETS},
            {"startup/update", CORVALITE_BENCH_UPDATE}};
        for (const auto& [name, program] : programs) {
            benchmark::RegisterBenchmark(name,
                                         [program = std::string(program)](benchmark::State& state) {
                                             StartUp(state, program);
                                         })
                ->UseManualTime()
                ->Iterations(5)
                ->Unit(benchmark::kMillisecond);
        }
    });
}
