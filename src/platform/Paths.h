#pragma once
// File-system paths from and to the program's UTF-8 text. A narrow std::string given to
// std::filesystem is read in the system code page on Windows, which cannot hold most names;
// these build the path from UTF-8 explicitly there, and pass the bytes through elsewhere.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(std::string(utf8));
#endif
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

// std::fopen for a UTF-8 name; mode is ASCII ("rb").
inline std::FILE* OpenFile(std::string_view utf8, const char* mode) {
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return _wfopen(PathFromUtf8(utf8).c_str(), wideMode.c_str());
#else
    return std::fopen(std::string(utf8).c_str(), mode);
#endif
}

}  // namespace platform
