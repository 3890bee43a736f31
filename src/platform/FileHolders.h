#pragma once
// Which programs hold a file open, so that a file that cannot be renamed or replaced can be
// explained by name ("httpd.exe") rather than by a bare "Permission denied". Best effort: on
// Windows the Restart Manager answers for every process it may see; elsewhere the descriptors
// and mappings of the processes we may read (those of the same user) are looked through.
#include <string>
#include <vector>

namespace platform {

// The programs' names, each once, in no particular order; empty when none is found or the
// system cannot tell.
std::vector<std::string> ProgramsHolding(const std::string& pathUtf8);

// "a, b and c", for a sentence.
std::string ListOfNames(const std::vector<std::string>& names);

}  // namespace platform
