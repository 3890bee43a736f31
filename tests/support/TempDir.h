#pragma once
// A temporary folder for one test, removed with everything in it afterwards.
#include <string>
#include <vector>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() with a trailing delimiter, as program folders are kept.
    std::string folder() const { return path_ + kDelimiter; }
    // Writes a file below the folder (creating its parents) and returns its full path.
    std::string Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

  private:
#ifdef _WIN32
    static constexpr char kDelimiter = '\\';
#else
    static constexpr char kDelimiter = '/';
#endif
    std::string path_;
};

namespace testsupport {
// The names in a folder, sorted.
std::vector<std::string> Entries(const std::string& folder);
}  // namespace testsupport
