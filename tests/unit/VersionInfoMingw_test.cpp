// Cross-checks the version reader and our PE writer against PE files that the MinGW
// binutils build from a resource script, so both agree with a real toolchain.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "core/verinfo.h"
#include "platform/VersionInfo.h"
#include "support/PeWriter.h"
#include "support/TempDir.h"

extern char** environ;

namespace {

constexpr const char* kWindres = "x86_64-w64-mingw32-windres";
constexpr const char* kLinker = "x86_64-w64-mingw32-ld";

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

// Runs a program without a shell; true when it exits with 0.
bool RunProgram(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ResourceScript(const PeVersion& file, const PeVersion& product) {
    std::ostringstream rc;
    rc << "1 VERSIONINFO\nFILEVERSION " << file.major << "," << file.minor << "," << file.release
       << "," << file.build << "\nPRODUCTVERSION " << product.major << "," << product.minor << ","
       << product.release << "," << product.build
       << "\nFILEOS 0x40004\nFILETYPE 0x1\nBEGIN\n"
          "  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040904B0\"\n    BEGIN\n"
          "      VALUE \"FileVersion\", \"0.0.0.1\"\n      VALUE \"ProductName\", \"Sample\"\n"
          "    END\n  END\n"
          "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x409, 1200\n  END\n"
          "END\n"
          // A second resource type, so that the reader has to pick RT_VERSION out.
          "7 RCDATA\nBEGIN\n  \"data\"\nEND\n";
    return rc.str();
}

class MingwPe : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (!OnPath(kWindres) || !OnPath(kLinker))
            GTEST_SKIP() << "MinGW binutils (binutils-mingw-w64-x86-64) are not installed";
    }

    // Builds a PE32 or PE32+ file; the x86-64 linker ships no PE32 script, so a small one
    // of our own places the sections.
    std::string Build(const std::string& name, const PeVersion& file, const PeVersion& product) {
        const bool pe32Plus = GetParam();
        const std::string base = dir_.path() + "/" + name;
        dir_.Write(name + ".rc", ResourceScript(file, product));
        std::vector<std::string> windres = {kWindres, "--preprocessor=cat", "-O", "coff"};
        if (!pe32Plus) windres.insert(windres.end(), {"-F", "pe-i386"});
        windres.insert(windres.end(), {base + ".rc", "-o", base + ".o"});
        EXPECT_TRUE(RunProgram(windres)) << "windres failed";
        std::vector<std::string> ld = {kLinker, "--entry=0", "-o", base + ".exe"};
        if (!pe32Plus) {
            const std::string script = dir_.Write(
                "pe32.x",
                "SECTIONS\n{\n  . = SIZEOF_HEADERS;\n  . = ALIGN(__section_alignment__);\n"
                "  .text __image_base__ + . : { *(.text) }\n"
                "  .rsrc BLOCK(__section_alignment__) : { *(.rsrc) *(.rsrc$*) }\n}\n");
            ld.insert(ld.end(), {"-m", "i386pe", "-T", script});
        }
        ld.push_back(base + ".o");
        EXPECT_TRUE(RunProgram(ld)) << "ld failed";
        return base + ".exe";
    }

    TempDir dir_;
};

}  // namespace

TEST_P(MingwPe, ReaderAgreesWithTheToolchain) {
    const std::string path = Build("sample", {5, 2, 1, 300}, {9, 8, 7, 6});
    TrsFileVersion reader;
    ASSERT_TRUE(reader.GetVersion(path));
    EXPECT_EQ(reader.VersionText, "5.2.1");
    EXPECT_EQ(reader.Build, 300);
    const std::string edge = Build("edge", {65535, 0, 40000, 1}, {0, 0, 0, 0});
    ASSERT_TRUE(reader.GetVersion(edge));
    EXPECT_EQ(reader.VersionText, "65535.0.40000");
    EXPECT_EQ(reader.Build, 1);
}

TEST_P(MingwPe, OurWriterProducesTheSameRecord) {
    const PeVersion file{3, 1, 0, 245}, product{3, 1, 0, 0};
    const std::string real = Build("real", file, product);
    const std::string ours = dir_.path() + "/ours.exe";
    WritePeFile(ours,
                PeOptions{.pe32Plus = GetParam(),
                          .fileVersion = file,
                          .productVersion = product,
                          .strings = {{"FileVersion", "0.0.0.1"}, {"ProductName", "Sample"}}});
    const auto record = [](const std::string& path) {
        std::vector<std::uint8_t> bytes(platform::VersionRecordSize(path, nullptr));
        if (!bytes.empty()) {
            EXPECT_TRUE(platform::ReadVersionRecord(path, 0, bytes.size(), bytes.data()));
        }
        return bytes;
    };
    const auto expected = record(real);
    ASSERT_FALSE(expected.empty());
    // The whole VS_VERSIONINFO tree, byte for byte, except the fixed block's file flags
    // mask and date, which the resource compiler fills its own way.
    auto actual = record(ours);
    ASSERT_EQ(actual.size(), expected.size());
    const void* block = nullptr;
    ASSERT_TRUE(
        platform::QueryVersionRecord(expected.data(), expected.size(), "\\", &block, nullptr));
    const auto fixedAt = static_cast<const std::uint8_t*>(block) - expected.data();
    for (const std::size_t field : {24u, 28u, 32u, 36u, 40u, 44u, 48u})
        std::copy_n(expected.begin() + fixedAt + field, 4, actual.begin() + fixedAt + field);
    EXPECT_EQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, MingwPe, testing::Bool());
