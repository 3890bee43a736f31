#pragma once
// Errors carry the exact text the user sees; the application's handler shows it.
#include <stdexcept>
#include <string>
#include <string_view>

namespace core {

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct EFOpenError : Error {
    using Error::Error;
};
struct EListError : Error {
    using Error::Error;
};
struct ERegistryException : Error {
    using Error::Error;
};

// Fills the first "%s" or "%d" of a message template.
std::string Format(std::string_view pattern, std::string_view argument);
std::string Format(std::string_view pattern, long long argument);

inline constexpr std::string_view kFileOpenError = "Datei %s kann nicht geöffnet werden";
inline constexpr std::string_view kListIndexError =
    "Der Index der Liste überschreitet das Maximum (%d)";
inline constexpr std::string_view kInvalidRegType = "Ungültiger Datentyp für '%s'";
inline constexpr std::string_view kRegGetDataFailed = "Konnte Daten für '%s' nicht holen";
inline constexpr std::string_view kRegSetDataFailed = "Konnte Daten für '%s' nicht setzen";

}  // namespace core
