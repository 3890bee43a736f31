#include "TempDir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/Paths.h"

namespace fs = std::filesystem;
using platform::PathFromUtf8;
using platform::Utf8FromPath;

// A fresh name made by us and created exclusively, so it works where mkdtemp does not exist.
TempDir::TempDir() {
    static std::mt19937_64 generator{std::random_device{}()};
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "corvalite-%012llx",
                      static_cast<unsigned long long>(generator() & 0xFFFFFFFFFFFFull));
        std::error_code error;
        if (fs::create_directory(base / name, error)) {
            path_ = Utf8FromPath(base / name);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder in " + Utf8FromPath(base));
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may leave read-only folders behind; make them writable before removing.
    for (auto it = fs::recursive_directory_iterator(PathFromUtf8(path_), ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(PathFromUtf8(path_), ignored);
}

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
    const fs::path full = PathFromUtf8(path_) / PathFromUtf8(relative);
    fs::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << content;
    return Utf8FromPath(full);
}

std::string TempDir::Read(const std::string& relative) const {
    std::ifstream in(PathFromUtf8(path_) / PathFromUtf8(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool TempDir::Exists(const std::string& relative) const {
    return fs::exists(PathFromUtf8(path_) / PathFromUtf8(relative));
}

std::vector<std::string> testsupport::Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(folder)))
        names.push_back(Utf8FromPath(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}
