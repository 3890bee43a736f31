// Which publishers are trusted and what is decided about a downloaded file, through the real
// signature check on the files signed at build time and real lists on disk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/Authenticity.h"
#include "platform/HeldFile.h"
#include "platform/MachineTrust.h"
#include "platform/Registry.h"
#include "support/ScopedEnvironment.h"
#include "support/SignedFixtures.h"
#include "support/TempDir.h"
#include "support/WithoutRoot.h"

namespace {

namespace fs = std::filesystem;
using platform::HeldFile;
using testsupport::FixtureKeyHash;
using testsupport::SignedFixturePath;
using Strings = std::vector<std::string>;

const std::string kPrimarySubject = "CN=Zelmarock Update Signing, O=Zelmarock Soci\u00e9t\u00e9";
const std::string kBackupSubject = "CN=Zelmarock Backup Signing, O=Zelmarock Soci\u00e9t\u00e9";

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// A machine-wide list below `configFolder`, as an administrator leaves it: nobody but root
// may change it, unless `writable` opens the list or its folder to everyone or gives one of
// them to nobody (65534), who may then change its permissions.
enum class Writable { Nothing, List, Folder, ListOfNobody, FolderOfNobody };
void WriteMachineList(const TempDir& dir, const std::string& configFolder, const std::string& text,
                      Writable writable = Writable::Nothing) {
    const std::string path = dir.Write(configFolder + "/corvalite-update/trusted-publishers", text);
    using fs::perms;
    const perms readOnly = perms::owner_read | perms::group_read | perms::others_read;
    const perms exec = perms::owner_exec | perms::group_exec | perms::others_exec;
    const std::string folder = fs::path(path).parent_path().string();
    fs::permissions(path, writable == Writable::List ? perms::all & ~exec : readOnly);
    fs::permissions(folder, writable == Writable::Folder ? perms::all : readOnly | exec);
    const std::string owned = writable == Writable::ListOfNobody     ? path
                              : writable == Writable::FolderOfNobody ? folder
                                                                     : "";
    if (!owned.empty()) {
        EXPECT_EQ(::chown(owned.c_str(), 65534, 65534), 0) << owned;
    }
}

// Lists on disk count only when someone other than this user owns them.
#define SKIP_UNLESS_ROOT() \
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make a list that is not its own"

struct Trust : ::testing::Test {
    TempDir dir;
    ScopedEnvironment env;
    const std::string primary = FixtureKeyHash("primary");
    const std::string backup = FixtureKeyHash("backup");
    const std::string impostor = FixtureKeyHash("impostor");

    void SetUp() override {
        env.Set("XDG_CONFIG_DIRS", dir.path() + "/none");
        env.Set("XDG_CONFIG_HOME", dir.path() + "/home/.config");
    }
    std::string Folder(const std::string& name) const { return dir.path() + "/" + name; }
    Authenticity Check(const std::string& fixture, const PublisherPins& pins) const {
        const HeldFile held(SignedFixturePath(fixture), HeldFile::Use::Move);
        return CheckAuthenticity(held, SignedFixturePath(fixture), pins);
    }
};

TEST_F(Trust, MachineListsAreReadFromEveryConfigFolderSkippingWhatIsNotAHash) {
    SKIP_UNLESS_ROOT();
    const Strings lines = {
        "# the vendor's keys",
        "  " + Upper(primary) + "  \r",  // blanks and a Windows line end around it
        "",
        "not a hash",
        backup + " " + backup,   // two on a line are not one hash
        backup + "0",            // 65 digits
        backup.substr(1) + "g",  // not hex
        impostor.substr(2),      // 62 digits
        backup + "# the spare, for a renewal",
    };
    std::string list;
    for (const auto& line : lines) list += line + "\n";
    WriteMachineList(dir, "a", list);
    WriteMachineList(dir, "b", impostor);  // no final line break
    // A link in place of a folder or a list is not the administrator's file.
    fs::create_directories(Folder("linked"));
    fs::create_directory_symlink(Folder("a/corvalite-update"), Folder("linked/corvalite-update"));
    fs::create_directories(Folder("listlink/corvalite-update"));
    fs::create_symlink(Folder("a/corvalite-update/trusted-publishers"),
                       Folder("listlink/corvalite-update/trusted-publishers"));
    env.Set("XDG_CONFIG_DIRS", "relative/a:" + Folder("a") + "::" + Folder("missing") + ":" +
                                   Folder("linked") + ":" + Folder("listlink") + ":" + Folder("b"));
    EXPECT_EQ(platform::MachineTrustedPublisherKeys(), (Strings{primary, backup, impostor}));
    const std::string vendor(64, '7');
    EXPECT_EQ(PublisherPins::Trusted({vendor}).keys(),
              (Strings{vendor, primary, backup, impostor}));

    // The build's own list takes blanks, semicolons and NULs alike, any case.
    EXPECT_EQ(platform::KeyHashesFromList(std::string(";") + Upper(primary) + " ;\t" + backup +
                                          std::string(1, '\0') + "xyz;" + impostor + "0"),
              (Strings{primary, backup}));
}

TEST_F(Trust, AListTheUserCouldChangeAddsNothingUnlessTheUserIsRoot) {
    SKIP_UNLESS_ROOT();
    WriteMachineList(dir, "open-list", primary + "\n", Writable::List);
    WriteMachineList(dir, "open-folder", backup + "\n", Writable::Folder);
    WriteMachineList(dir, "nobodys-list", impostor + "\n", Writable::ListOfNobody);
    WriteMachineList(dir, "nobodys-folder", impostor + "\n", Writable::FolderOfNobody);
    WriteMachineList(dir, "admin", backup + "\n");
    env.Set("XDG_CONFIG_DIRS", Folder("open-list") + ":" + Folder("open-folder") + ":" +
                                   Folder("nobodys-list") + ":" + Folder("nobodys-folder") + ":" +
                                   Folder("admin"));
    // Root could change any of them, and is trusted with all of them.
    EXPECT_EQ(platform::MachineTrustedPublisherKeys(),
              (Strings{primary, backup, impostor, impostor, backup}));
    const auto check = [&] { return platform::MachineTrustedPublisherKeys() == Strings{backup}; };
    const CheckOutcome outcome = CheckWithoutRoot(check);
    if (outcome == CheckOutcome::Skipped) GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(outcome, CheckOutcome::Passed);
}

TEST_F(Trust, OnlyAKeyPinnedByTheVendorOrTheMachineMakesAFileTrusted) {
    // Places the user can write pin the impostor; none of them may count.
    dir.Write("home/.config/corvalite-update/trusted-publishers", impostor + "\n");
    const auto hive = platform::OpenUserHive();
    for (const char* key :
         {"\\Software\\Zelmarock\\Update", "\\Software\\Policies\\Zelmarock\\Update"}) {
        ASSERT_TRUE(hive->CreateKey(key));
        ASSERT_TRUE(hive->WriteValue(key, "TrustedPublishers", platform::TextValue(impostor)));
    }
    const PublisherPins pins = PublisherPins::Trusted({primary, backup});

    const Authenticity byPrimary = Check("signed-primary.exe", pins);
    EXPECT_TRUE(byPrimary.trusted) << byPrimary.reason;
    EXPECT_EQ(byPrimary.publisher, kPrimarySubject);
    // The backup key passes as well: a switch of keys strands nobody.
    const Authenticity byBackup = Check("signed-backup.exe", pins);
    EXPECT_TRUE(byBackup.trusted) << byBackup.reason;
    EXPECT_EQ(byBackup.publisher, kBackupSubject);
    EXPECT_FALSE(Check("signed-backup.exe", PublisherPins::Trusted({primary})).trusted);

    // The same subject with another key is not the vendor.
    const Authenticity impostorCheck = Check("signed-impostor.exe", pins);
    EXPECT_FALSE(impostorCheck.trusted);
    EXPECT_EQ(impostorCheck.reason,
              "\"signed-impostor.exe\" is signed by " + kPrimarySubject + ", not by the vendor.");
}

// Each failing fixture's words are checked through the whole program (gui/Commands_test).
TEST_F(Trust, ARefusalSaysWhatBecameOfTheFileAndWhatToDo) {
    const Authenticity absent = Check("absent.exe", PublisherPins({primary}));
    EXPECT_FALSE(absent.trusted);
    EXPECT_EQ(absent.reason, "\"absent.exe\" could not be read to check who signed it.");
    const Authenticity refused = Check("tampered.exe", PublisherPins({primary}));
    EXPECT_EQ(RefusalNotice(refused, RefusedFileFate::RemovedFromDownloads, "/d"),
              "\"tampered.exe\" was changed after it was signed. It was removed from the download "
              "folder. Try again later; if this keeps happening, the download server or your "
              "network may have been tampered with \u2014 tell the vendor.");
    EXPECT_EQ(RefusalNotice(refused, RefusedFileFate::NotRemoved, "/d/\u4e0b\u8f7d")
                  .find("It could not be removed from /d/\u4e0b\u8f7d; delete it yourself and do "
                        "not open it. Try again later;"),
              refused.reason.size() + 1);
}

}  // namespace
