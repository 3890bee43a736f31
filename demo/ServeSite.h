#pragma once
// Serves a sample vendor site on 127.0.0.1 until SIGTERM or SIGINT.
#include <string>

namespace demo {

// Writes the chosen port to portFile (when given) once the server listens, and one line per
// request to standard output, so a script can tell when the catalogue has been fetched.
// Returns the process exit code.
int ServeSite(const std::string& siteDir, const std::string& portFile);

}  // namespace demo
