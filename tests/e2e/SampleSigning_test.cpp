// The sample site signed by a publisher made for the sandbox, checked by the program's own
// signature check, and that publisher's key pinned in a machine-wide list.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "core/verinfo.h"
#include "demo/ExternalTool.h"
#include "demo/SampleData.h"
#include "demo/SampleSigning.h"
#include "e2e/SampleRun.h"
#include "platform/Signature.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;

platform::SignatureCheck Check(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << file;
    platform::SignatureCheck check = platform::CheckSignature(fd, file.string());
    ::close(fd);
    return check;
}

unsigned Mode(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

std::map<fs::path, std::string> Files(const std::string& folder) {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path()] = ReadFile(entry.path());
    return files;
}

TEST(SampleSigning, EveryProgramAndLibraryOfTheSiteIsSignedByThePinnedKey) {
    TempDir dir;
    const std::string site = dir.path() + "/site";
    demo::WriteSampleSite(site);
    const auto before = Files(site);
    const demo::SampleSigner& signer = e2e::RunSigner();

    const std::size_t signedCount = demo::SignSampleSite(site, signer);

    std::size_t programs = 0;
    for (const auto& [path, original] : before) {
        if (path.extension() == ".php") {
            EXPECT_EQ(ReadFile(path), original) << "a catalogue list was changed: " << path;
            continue;
        }
        ++programs;
        const platform::SignatureCheck check = Check(path);
        EXPECT_EQ(check.status, platform::SignatureStatus::Valid) << path << ": " << check.detail;
        EXPECT_EQ(check.signerKeySha256, signer.keySha256) << path;
        EXPECT_NE(check.signerSubject.find("Zelmarock Sample Site Signing"), std::string::npos)
            << check.signerSubject;
        // The tree still reads each program's version from the signed file.
        TrsFileVersion version;
        EXPECT_TRUE(version.GetVersion(path.string())) << path;
    }
    EXPECT_EQ(signedCount, programs);
    // The editor, the listener, the server, and every setup, library, module and utility.
    const demo::SampleCatalogue& c = demo::Catalogue();
    EXPECT_EQ(programs, 3 + c.php.size() + c.debugger.size() + c.modules.size() + c.utils.size());
    EXPECT_EQ(Files(site).size(), before.size()) << "signing left files behind";
}

TEST(SampleSigning, TheTrustListPinsTheKeyReadableByAllWritableByItsOwner) {
    TempDir dir;
    const std::string xdg = dir.path() + "/xdg";
    const demo::SampleSigner& signer = e2e::RunSigner();
    ::umask(077);  // what the list and its folder get must not depend on who starts the tool
    const std::string list = demo::WriteTrustedPublishers(xdg, signer);
    // Written again for a second run of the same sandbox: still one entry, not two.
    demo::WriteTrustedPublishers(xdg, signer);
    ::umask(022);

    EXPECT_EQ(list, xdg + "/corvalite-update/trusted-publishers");
    std::string lines;
    for (std::string text = ReadFile(list); !text.empty();) {
        const std::size_t end = text.find('\n');
        ASSERT_NE(end, std::string::npos) << "the last line has no end";
        if (text[0] != '#') lines += text.substr(0, end) + ";";
        text.erase(0, end + 1);
    }
    EXPECT_EQ(lines, signer.keySha256 + ";");
    EXPECT_EQ(Mode(list), 0644u);
    EXPECT_EQ(Mode(xdg + "/corvalite-update"), 0755u);
    EXPECT_EQ(Mode(xdg), 0755u);
    EXPECT_EQ(testsupport::Entries(xdg + "/corvalite-update"),
              std::vector<std::string>{"trusted-publishers"});
}

TEST(SampleSigning, AKeyFolderIsMadeOnceOwnerOnlyAndReused) {
    TempDir dir;
    const std::string keys = dir.path() + "/keys";
    const demo::SampleSigner made = demo::MakeSampleSigner(keys);
    const demo::SampleSigner again = demo::MakeSampleSigner(keys);
    const demo::SampleSigner loaded = demo::LoadSampleSigner(keys);

    EXPECT_EQ(again.keySha256, made.keySha256);
    EXPECT_EQ(loaded.keySha256, made.keySha256);
    EXPECT_NE(made.keySha256, e2e::RunSigner().keySha256) << "two folders, one key";
    EXPECT_EQ(ReadFile(again.certificate), ReadFile(made.certificate));
    EXPECT_EQ(Mode(keys), 0700u);
    EXPECT_EQ(Mode(made.key) & 077, 0u) << "the private key is readable by others";
    EXPECT_EQ(ReadFile(made.rootDer).substr(0, 1), "\x30") << "the root is not DER";

    // A folder with other things in it is nobody's key folder: refused and left alone.
    const std::string other = dir.Write("other/notes.txt", "mine");
    EXPECT_THROW(demo::MakeSampleSigner(dir.path() + "/other"), std::runtime_error);
    EXPECT_EQ(testsupport::Entries(dir.path() + "/other"), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(ReadFile(other), "mine");
    EXPECT_THROW(demo::LoadSampleSigner(dir.path() + "/other"), std::runtime_error);
}

TEST(SampleSigning, AFailingToolIsReportedInItsOwnWordsAndChangesNothing) {
    TempDir dir;
    const std::string site = dir.path() + "/site";
    demo::WriteSampleSite(site);
    const auto before = Files(site);
    demo::SampleSigner broken = e2e::RunSigner();
    broken.key = dir.Write("broken.key", "not a key\n");

    try {
        demo::SignSampleSite(site, broken);
        ADD_FAILURE() << "signing with a broken key succeeded";
    } catch (const std::runtime_error& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("osslsigncode sign"), std::string::npos) << text;
        EXPECT_NE(text.find("exit status"), std::string::npos) << text;
        EXPECT_NE(text.find(broken.key), std::string::npos) << text;
        // More than our own words: what the tool said about it.
        EXPECT_GT(text.size(), text.find("): ") + 3) << text;
    }
    EXPECT_EQ(Files(site), before) << "a failed signing changed the site or left a file";

    try {
        demo::RunTool({"corvalite-no-such-tool", "--version"});
        ADD_FAILURE() << "a missing tool ran";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("cannot start corvalite-no-such-tool"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(demo::RunTool({"printf", "%s-%s", "a b", ";$(x)"}), "a b-;$(x)")
        << "arguments went through a shell";
}

}  // namespace
