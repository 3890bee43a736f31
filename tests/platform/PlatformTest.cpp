#include "PlatformTest.h"

#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platformtest {
namespace {

#ifdef _WIN32
constexpr char kDelimiter = '\\';
#else
constexpr char kDelimiter = '/';
#endif

std::string UniqueName() {
    std::mt19937_64 generator{std::random_device{}()};
    return "run-" + std::to_string(generator() & 0xFFFFFFFFFFull);
}

}  // namespace

#ifdef _WIN32
ScratchHive::ScratchHive()
    : root_("\\Software\\Corvalite Tests\\" + UniqueName()), hive_(platform::OpenUserHive()) {}

ScratchHive::~ScratchHive() {
    RegDeleteTreeA(HKEY_CURRENT_USER, root_.substr(1).c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, root_.substr(1, root_.rfind('\\') - 1).c_str());
}

std::unique_ptr<platform::RegistryHive> ScratchHive::Reopen() const {
    return platform::OpenUserHive();
}
#else
ScratchHive::ScratchHive()
    : root_("\\Software\\Corvalite Tests\\" + UniqueName()),
      hive_(platform::OpenHiveFile(Join(folder_.path(), "HKCU.reg"))) {}

ScratchHive::~ScratchHive() = default;

std::unique_ptr<platform::RegistryHive> ScratchHive::Reopen() const {
    return platform::OpenHiveFile(Join(folder_.path(), "HKCU.reg"));
}
#endif

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == kDelimiter ? folder + name
                                                         : folder + kDelimiter + name;
}

namespace {

std::string FixturePath(std::string path) {
#ifdef _WIN32
    // The build folder as a Windows program sees it: Wine maps the Unix root to drive Z.
    if (!path.empty() && path.front() == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
#endif
    return path;
}

}  // namespace

std::string PeFixture(const std::string& name) {
    return FixturePath(std::string(CORVALITE_PE_FIXTURES) + "/" + name);
}

std::string SignedFixture(const std::string& name) {
    return FixturePath(std::string(CORVALITE_SIGNED_FIXTURES) + "/" + name);
}

}  // namespace platformtest
