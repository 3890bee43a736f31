#pragma once
// Reads the file version of an executable from its version record and keeps it as four
// numbers and a display text.
#include <cstdint>
#include <string>

class TrsFileVersion {
  public:
    TrsFileVersion() { Clear(); }

    std::string VersionText;  // "Major.Minor.Release"; empty after Clear or a failed read
    std::int32_t Major = 0;
    std::int32_t Minor = 0;
    std::int32_t Release = 0;
    std::int32_t Build = 0;

    // Fills the fields from the file, or clears them so nothing of an earlier file stays.
    bool GetVersion(const std::string& fileName);
    void Clear();
    // The low-level read: writes only the outputs given, none of them on failure, and
    // leaves the reader's fields alone.
    bool ReadVersionInfo(const std::string& fileName, std::uint16_t* major = nullptr,
                         std::uint16_t* minor = nullptr, std::uint16_t* release = nullptr,
                         std::uint16_t* build = nullptr) const;
};

// All four numbers of the file's version record ("1.2.3.4"); empty when it has none.
std::string FullVersionText(const std::string& fileName);
