#pragma once
// Writes small PE files (PE32 or PE32+) that carry a version record, for fixtures such as
// sample installations, and hostile variants of them for the reader's tests:
//   WritePeFile(path, PeOptions{.fileVersion = {5, 2, 1, 300}});
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct PeVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t release = 0;
    std::uint16_t build = 0;
};

enum class PeFlaw {
    kNone,
    kNoVersionResource,    // resources, but none of type RT_VERSION
    kNoResourceDirectory,  // the optional header lists too few data directories
    kResourceLoop,         // the version's name directory points back at the type directory
    kDeepNesting,          // directories nested far below the language level
    kRvaOutsideSections,   // the version data's address lies in no section
    kOverflowingSize,      // the version data's size runs past 4 GiB
    kShortVersionInfo,     // VS_VERSIONINFO shorter than its own header
    kWrongSignature,       // VS_FIXEDFILEINFO signature off by one
};

struct PeOptions {
    bool pe32Plus = false;
    PeVersion fileVersion{1, 0, 0, 0};
    PeVersion productVersion{1, 0, 0, 0};
    // StringFileInfo entries (ASCII); none means no string table at all.
    std::vector<std::pair<std::string, std::string>> strings = {};
    // Name the version resource "VERSION" instead of giving it the usual ID 1.
    bool namedVersionResource = false;
    PeFlaw flaw = PeFlaw::kNone;
};

std::vector<std::uint8_t> BuildPeImage(const PeOptions& options);
// Throws std::runtime_error when the file cannot be written.
void WritePeFile(const std::string& path, const PeOptions& options);
