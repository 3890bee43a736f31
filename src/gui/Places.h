#pragma once
// Where the program writes: beside itself while its folder is writable (a portable copy),
// otherwise in the user's own folders (an installed copy in a read-only program folder).
#include <string>

struct Places {
    std::string listFolder;             // the catalogue lists, with a trailing delimiter
    std::string defaultDownloadFolder;  // without one
};

Places ChoosePlaces(const std::string& programFolder);

// The per-user store of the files installs replaced (core/ReplacedFiles), beside the program's
// other per-user data whether or not the program runs portable, with a trailing delimiter.
std::string ReplacedFilesFolder();

// The folder a download goes to: the chosen one, or the default when none is set; the
// default is created when missing, a chosen folder is used as it stands.
std::string EffectiveDownloadFolder(const std::string& chosen, const Places& places);
