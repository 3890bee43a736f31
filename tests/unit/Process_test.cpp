#include "platform/Process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "support/Poll.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kAwkwardArguments = {"two words",
                                                    "it's",
                                                    "\"quoted\"",
                                                    "a & b",
                                                    "x; rm -rf y",
                                                    "$(touch pwned)",
                                                    "`id`",
                                                    "--leading-dash",
                                                    "-",
                                                    "",
                                                    "\xc3\xa9t\xc3\xa9 \xe2\x82\xac",
                                                    "*",
                                                    "line\nbreak"};

// A program that writes the arguments it got, each ended by a NUL, into its own record
// file; the file appears whole (renamed into place) once the program has run. The program's
// name may be awkward; the record's name is kept plain so the script can quote it.
struct Recorder {
    std::string path;
    std::string record;
};

Recorder WriteRecorder(const TempDir& dir, const std::string& name) {
    static int count = 0;
    const std::string out = dir.path() + "/record-" + std::to_string(++count);
    const std::string script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" +
                               out + ".tmp' && /bin/mv '" + out + ".tmp' '" + out + "'\n";
    const std::string path = dir.Write(name, script);
    chmod(path.c_str(), 0755);
    return {path, out};
}

// Waits for the record; generous, since a loaded machine may be slow to start the program.
std::optional<std::vector<std::string>> RecordedArguments(const Recorder& recorder) {
    if (!testsupport::PollUntil([&] { return fs::exists(recorder.record); })) return std::nullopt;
    std::ifstream in(recorder.record, std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(in, argument, '\0');) arguments.push_back(argument);
    return arguments;
}

int ZombieChildren() {
    int zombies = 0;
    const std::string parent = std::to_string(getpid());
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...: the command may hold spaces, so read after the last ')'.
        const auto close = line.rfind(')');
        if (close == std::string::npos || close + 4 > line.size()) continue;
        const char state = line[close + 2];
        const std::string rest = line.substr(close + 4);
        if (state == 'Z' && rest.substr(0, rest.find(' ')) == parent) ++zombies;
    }
    return zombies;
}

// PATH limited to one folder of ours for a test's duration.
class ScopedPath {
  public:
    explicit ScopedPath(const std::string& value) {
        if (const char* old = std::getenv("PATH")) old_ = old;
        setenv("PATH", value.c_str(), 1);
    }
    ~ScopedPath() {
        if (old_)
            setenv("PATH", old_->c_str(), 1);
        else
            unsetenv("PATH");
    }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

  private:
    std::optional<std::string> old_;
};

std::string PeImage() {
    std::string image(0x90, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = static_cast<char>(0x80);
    image.replace(0x80, 4, std::string("PE\0\0", 4));
    return image;
}

}  // namespace

TEST(Process, PassesEveryArgumentExactlyWithoutAShell) {
    TempDir dir;
    const Recorder recorder = WriteRecorder(dir, "rec 'q' & ; $(x).sh");
    std::vector<std::string> argv = {recorder.path};
    argv.insert(argv.end(), kAwkwardArguments.begin(), kAwkwardArguments.end());
    ASSERT_TRUE(platform::SpawnDetached(argv));
    EXPECT_EQ(RecordedArguments(recorder), kAwkwardArguments);
    EXPECT_FALSE(fs::exists(dir.path() + "/pwned"));
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST(Process, EndedChildrenAreReaped) {
    TempDir dir;
    const Recorder recorder = WriteRecorder(dir, "quick");
    ASSERT_TRUE(platform::SpawnDetached({recorder.path, "once"}));
    ASSERT_TRUE(RecordedArguments(recorder));
    testsupport::PollUntil([] { return ZombieChildren() == 0; });
    EXPECT_EQ(ZombieChildren(), 0);
}

TEST(Process, ReportsWhatCannotBeStarted) {
    TempDir dir;
    EXPECT_FALSE(platform::SpawnDetached({}));
    EXPECT_FALSE(platform::SpawnDetached({dir.path() + "/missing"}));
    const std::string plain = dir.Write("not-executable", "#!/bin/sh\n");
    chmod(plain.c_str(), 0644);
    EXPECT_FALSE(platform::SpawnDetached({plain}));
    EXPECT_FALSE(platform::StartProgram(dir.path() + "/missing.exe"));
    EXPECT_FALSE(platform::StartProgram(dir.path()));
}

TEST(Process, WindowsProgramsAreKnownByNameOrHeader) {
    TempDir dir;
    EXPECT_TRUE(platform::IsWindowsProgram(dir.Write("SETUP.EXE", "")));
    EXPECT_TRUE(platform::IsWindowsProgram(dir.Write("setup_php-5.2", PeImage())));
    EXPECT_FALSE(platform::IsWindowsProgram(dir.Write("readme.txt", "MZ only")));
    EXPECT_FALSE(platform::IsWindowsProgram(dir.Write("short", "MZ")));
    std::string notPe = PeImage();
    notPe[0x81] = 'X';
    EXPECT_FALSE(platform::IsWindowsProgram(dir.Write("other.bin", notPe)));
}

TEST(Process, StartArgumentsNeverLetAPathPassForAnOption) {
    EXPECT_EQ(platform::StartArguments("-x.exe", true, "/w/wine", "/o/open"),
              (std::vector<std::string>{"/w/wine", "./-x.exe"}));
    EXPECT_EQ(platform::StartArguments("/d/a.exe", true, "", "/o/open"),
              (std::vector<std::string>{"/o/open", "/d/a.exe"}));
    EXPECT_EQ(platform::StartArguments("/d/a.txt", false, "/w/wine", "/o/open"),
              (std::vector<std::string>{"/o/open", "/d/a.txt"}));
    EXPECT_TRUE(platform::StartArguments("/d/a.exe", true, "", "").empty());
}

TEST(Process, WindowsProgramGoesThroughWineOtherFilesThroughTheOpener) {
    TempDir tools;
    TempDir downloads;
    const Recorder wine = WriteRecorder(tools, "wine");
    const Recorder opener = WriteRecorder(tools, "xdg-open");
    const ScopedPath path(tools.path());
    EXPECT_EQ(platform::FindOnPath("wine"), wine.path);

    const std::string setup = downloads.Write("setup_php-5 & $(x) 'a'.exe", "");
    ASSERT_TRUE(platform::StartProgram(setup));
    EXPECT_EQ(RecordedArguments(wine), std::vector<std::string>{setup});

    const std::string text = downloads.Write("notes; rm.txt", "plain");
    ASSERT_TRUE(platform::StartProgram(text));
    EXPECT_EQ(RecordedArguments(opener), std::vector<std::string>{text});
}

TEST(Process, WithoutWineTheOpenerGetsTheProgram) {
    TempDir tools;
    TempDir downloads;
    const Recorder opener = WriteRecorder(tools, "xdg-open");
    const ScopedPath path(tools.path());
    const std::string setup = downloads.Write("websrv.exe", PeImage());
    ASSERT_TRUE(platform::StartProgram(setup));
    EXPECT_EQ(RecordedArguments(opener), std::vector<std::string>{setup});
}

TEST(Process, WithNoStarterAtAllNothingStarts) {
    TempDir empty;
    TempDir downloads;
    const ScopedPath path(empty.path());
    EXPECT_EQ(platform::FindOnPath("xdg-open"), "");
    EXPECT_FALSE(platform::StartProgram(downloads.Write("websrv.exe", "")));
}
