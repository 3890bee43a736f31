#pragma once
// The files tests/platform/make-signed-fixtures.sh signs at build time, for tests that serve
// them as downloads: "signed-primary.exe" and "signed-backup.exe" are by keys every test
// trusts (through the machine-wide list of tests/support/TrustSandbox.cmake), the others fail
// the check in their own ways ("unsigned.exe", "tampered.exe", "signed-impostor.exe"…).
#include <string>

namespace testsupport {

std::string SignedFixturePath(const std::string& name);
// The file's bytes; an empty text fails the test that asked.
std::string SignedFixture(const std::string& name);
// The fixture key's hash ("primary", "backup", "impostor"), 64 lower-case hex digits.
std::string FixtureKeyHash(const std::string& signer);

// Whether the program trusts the primary and backup fixture keys here: the sandbox's list is
// the user's own, which counts only for root.
bool FixtureKeysTrusted();
inline constexpr const char* kFixtureKeysUntrusted =
    "the tests' machine-wide list of publishers counts only for root: run as root to install";

}  // namespace testsupport
