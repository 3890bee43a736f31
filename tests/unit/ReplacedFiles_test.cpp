#include "core/ReplacedFiles.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/FileMove.h"
#include "support/ChildRole.h"
#include "support/PeWriter.h"
#include "support/TempDir.h"

using testsupport::Entries;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A product folder with a module in it and a new module waiting in a download folder; the
// names carry letters outside any code page.
struct Install {
    TempDir dir;
    std::string product = dir.path() + "/Prodüct 製品 🚀";
    std::string store = dir.path() + "/store";
    std::string target = product + "/módulo_模块.dll";

    Install() {
        dir.Write("Prodüct 製品 🚀/módulo_模块.dll", "");
        WritePeFile(target, PeOptions{.fileVersion = {5, 2, 1, 300}});
        dir.Write("downloads/módulo_模块.dll", "new module");
    }
    std::string Incoming() const { return dir.path() + "/downloads/módulo_模块.dll"; }
    bool MoveIn() const {
        return platform::TransferFile(Incoming(), product, platform::TransferMode::Move, true).ok();
    }
};

}  // namespace

TEST(ReplacedFiles, KeepsOnePreviousCopyPerTargetWithWhereAndWhatItWas) {
    Install in;
    const std::string old = ReadAll(in.target);
    ReplacedFiles store(in.store);
    EXPECT_FALSE(store.Find(in.target));

    ASSERT_EQ(store.Replace(
                  in.target, [&] { return in.MoveIn(); }, 1000),
              ReplacedFiles::Outcome::Replaced);
    EXPECT_EQ(ReadAll(in.target), "new module");
    auto kept = store.Find(in.target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->target, in.target);
    EXPECT_EQ(kept->version, "5.2.1.300");
    EXPECT_EQ(kept->replacedAt, 1000);
    EXPECT_EQ(kept->size, old.size());
    EXPECT_EQ(ReadAll(kept->copy), old);

    // A second install over the same path keeps only the file it replaced.
    in.dir.Write("downloads/módulo_模块.dll", "newer module");
    ASSERT_EQ(store.Replace(
                  in.target, [&] { return in.MoveIn(); }, 2000),
              ReplacedFiles::Outcome::Replaced);
    kept = store.Find(in.target);
    ASSERT_TRUE(kept);
    EXPECT_EQ(ReadAll(kept->copy), "new module");
    EXPECT_EQ(kept->version, "");  // the replaced file had no version record
    EXPECT_EQ(store.Entries().size(), 1u);
    EXPECT_EQ(Entries(in.store).size(), 1u) << "no journal or temporary file is left";
}

TEST(ReplacedFiles, APlacementThatLeavesTheTargetAloneKeepsNothing) {
    Install in;
    const std::string old = ReadAll(in.target);
    ReplacedFiles store(in.store);
    EXPECT_EQ(store.Replace(
                  in.target, [] { return false; }, 1000),
              ReplacedFiles::Outcome::NotReplaced);
    EXPECT_EQ(ReadAll(in.target), old);
    EXPECT_FALSE(store.Find(in.target));
    EXPECT_TRUE(store.Entries().empty());

    // Said to have failed, yet the file did go in (a move that could not remove its source).
    EXPECT_EQ(store.Replace(
                  in.target,
                  [&] {
                      in.MoveIn();
                      return false;
                  },
                  1000),
              ReplacedFiles::Outcome::Replaced);
    ASSERT_TRUE(store.Find(in.target));
    EXPECT_EQ(ReadAll(store.Find(in.target)->copy), old);
}

TEST(ReplacedFiles, RestoreSwapsTheFilesSoItCanItselfBeUndone) {
    Install in;
    const std::string old = ReadAll(in.target);
    ReplacedFiles store(in.store);
    EXPECT_EQ(store.Restore(in.target, 1), ReplacedFiles::Outcome::NotKept);
    ASSERT_EQ(store.Replace(
                  in.target, [&] { return in.MoveIn(); }, 1000),
              ReplacedFiles::Outcome::Replaced);

    ASSERT_EQ(store.Restore(in.target, 2000), ReplacedFiles::Outcome::Replaced);
    EXPECT_EQ(ReadAll(in.target), old);
    ASSERT_TRUE(store.Find(in.target));
    EXPECT_EQ(ReadAll(store.Find(in.target)->copy), "new module");
    EXPECT_EQ(store.Find(in.target)->replacedAt, 2000);

    ASSERT_EQ(store.Restore(in.target, 3000), ReplacedFiles::Outcome::Replaced);
    EXPECT_EQ(ReadAll(in.target), "new module");
    EXPECT_EQ(ReadAll(store.Find(in.target)->copy), old);
    EXPECT_EQ(store.Find(in.target)->version, "5.2.1.300");
    EXPECT_EQ(Entries(in.product), std::vector<std::string>{"módulo_模块.dll"});
}

// Replaces `count` files of `size` bytes, one a second, and names the targets still kept.
std::vector<std::string> KeptAfterReplacing(int count, std::size_t size, std::size_t maxEntries,
                                            std::uint64_t maxBytes) {
    TempDir dir;
    ReplacedFiles files(dir.path() + "/store", maxEntries, maxBytes);
    for (int i = 0; i < count; ++i) {
        const std::string name = "f" + std::to_string(i);
        const std::string target = dir.Write("p/" + name, std::string(size, 'o'));
        dir.Write("d/" + name, "new");
        const auto outcome = files.Replace(
            target,
            [&] {
                return platform::TransferFile(dir.path() + "/d/" + name, dir.path() + "/p",
                                              platform::TransferMode::Move, true)
                    .ok();
            },
            100 + i);
        EXPECT_EQ(outcome, ReplacedFiles::Outcome::Replaced);
    }
    std::vector<std::string> kept;
    for (const auto& entry : files.Entries())
        kept.push_back(entry.target.substr(entry.target.rfind('/') + 1));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(Entries(dir.path() + "/store").size(), kept.size()) << "dropped copies are gone";
    return kept;
}

TEST(ReplacedFiles, TheStoreDropsTheOldestBeyondItsBounds) {
    EXPECT_EQ(KeptAfterReplacing(5, 10, 3, 1 << 20), (std::vector<std::string>{"f2", "f3", "f4"}));
    // 250 bytes hold two copies of 100.
    EXPECT_EQ(KeptAfterReplacing(4, 100, 64, 250), (std::vector<std::string>{"f2", "f3"}));
    // A copy larger than the bound still stays, alone.
    EXPECT_EQ(KeptAfterReplacing(2, 100, 64, 50), (std::vector<std::string>{"f1"}));
}

TEST(ReplacedFiles, IndexTextRoundTripsAndAnythingMalformedIsNothing) {
    const KeptFile kept{"/p/line\nbreak 100%", "", "1.2.3.4", 42, 7};
    const auto back = ParseKeptIndex(FormatKeptIndex(kept));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->target, kept.target);
    EXPECT_EQ(back->version, "1.2.3.4");
    EXPECT_EQ(back->replacedAt, 42);
    EXPECT_EQ(back->size, 7u);
    for (const char* bad :
         {"", "target=/a\nreplaced=1\n", "target=/a\nreplaced=1\nsize=2",
          "target=/a\nreplaced=-1\nsize=2\n", "target=/a%zz\nreplaced=1\nsize=2\n",
          "target=/a\ntarget=/b\nreplaced=1\nsize=2\n", "=x\ntarget=/a\nreplaced=1\nsize=2\n",
          "target=\nreplaced=1\nsize=2\n", "target=/a\nreplaced=1x\nsize=2\n"})
        EXPECT_FALSE(ParseKeptIndex(bad)) << bad;
}

// The child half of the next test: replaces a module and dies hard at the step it is told.
CORVALITE_CHILD_ROLE(ReplaceKilledAtStep) {
    const std::string root = std::getenv("CORVALITE_REPLACE_ROOT");
    const int killAt = std::atoi(std::getenv("CORVALITE_REPLACE_STEP"));
    const bool restore = std::getenv("CORVALITE_REPLACE_RESTORE") != nullptr;
    ReplacedFiles store(root + "/store");
    store.onStep = [&](ReplaceStep step) {
        if (static_cast<int>(step) == killAt) std::raise(SIGKILL);
    };
    const std::string target = root + "/Prodüct 製品 🚀/módulo_模块.dll";
    if (restore) {
        store.Restore(target, 2000);
        return;
    }
    store.Replace(
        target,
        [&] {
            return platform::TransferFile(root + "/downloads/módulo_模块.dll",
                                          root + "/Prodüct 製品 🚀", platform::TransferMode::Move,
                                          true)
                .ok();
        },
        1000);
}

TEST(ReplacedFiles, KilledAtEveryStepTheNextStartFindsOneWholeFile) {
    for (const bool restore : {false, true}) {
        for (int step = 0; step <= static_cast<int>(ReplaceStep::IndexWritten); ++step) {
            SCOPED_TRACE((restore ? "restore, step " : "install, step ") + std::to_string(step));
            Install in;
            const std::string old = ReadAll(in.target);
            if (restore) {
                ReplacedFiles first(in.store);
                ASSERT_EQ(first.Replace(
                              in.target, [&] { return in.MoveIn(); }, 500),
                          ReplacedFiles::Outcome::Replaced);
            }
            auto child = testsupport::StartChildRole(
                "ReplaceKilledAtStep",
                {"CORVALITE_REPLACE_ROOT=" + in.dir.path(),
                 "CORVALITE_REPLACE_STEP=" + std::to_string(step),
                 restore ? "CORVALITE_REPLACE_RESTORE=1" : "CORVALITE_REPLACE_NONE=1"});
            ASSERT_TRUE(child);
            const auto status = child->Wait();
            ASSERT_TRUE(status);
            ASSERT_TRUE(WIFSIGNALED(*status)) << "the child ran to its end";

            ReplacedFiles store(in.store);
            store.Replay();
            // A restore begins with the new module in place and ends with the old one.
            const std::string now = ReadAll(in.target);
            const std::string was = restore ? "new module" : old;
            const std::string becomes = restore ? old : "new module";
            ASSERT_TRUE(now == was || now == becomes) << "neither file is whole at the target";
            const auto kept = store.Find(in.target);
            ASSERT_TRUE(kept || (!restore && now == was));
            // Whatever is not at the target is the kept copy: nothing is lost.
            if (kept) {
                EXPECT_EQ(ReadAll(kept->copy), now == becomes ? was : becomes);
            }
            EXPECT_EQ(Entries(in.product), std::vector<std::string>{"módulo_模块.dll"});
            EXPECT_EQ(Entries(in.store).size(), store.Entries().size())
                << "the journal and every half-made copy are gone";
            // What the kill interrupted can be done again from here.
            if (now == was) {
                if (!restore) {
                    EXPECT_EQ(store.Replace(
                                  in.target, [&] { return in.MoveIn(); }, 3000),
                              ReplacedFiles::Outcome::Replaced);
                } else {
                    EXPECT_EQ(store.Restore(in.target, 3000), ReplacedFiles::Outcome::Replaced);
                }
                EXPECT_EQ(ReadAll(in.target), becomes);
            }
        }
    }
}
