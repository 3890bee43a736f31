#include "support/SignedFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/MachineTrust.h"

namespace testsupport {

std::string SignedFixturePath(const std::string& name) {
    return std::string(CORVALITE_TEST_SIGNED_FIXTURES) + "/" + name;
}

std::string SignedFixture(const std::string& name) {
    std::ifstream in(SignedFixturePath(name), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_FALSE(bytes.empty()) << "no fixture " << SignedFixturePath(name);
    return bytes;
}

std::string FixtureKeyHash(const std::string& signer) {
    std::ifstream in(SignedFixturePath(signer + ".spki-sha256"));
    std::string hex;
    in >> hex;
    EXPECT_EQ(hex.size(), 64u) << signer;
    return hex;
}

bool FixtureKeysTrusted() {
    const auto keys = platform::MachineTrustedPublisherKeys();
    const auto pinned = [&](const std::string& signer) {
        return std::find(keys.begin(), keys.end(), FixtureKeyHash(signer)) != keys.end();
    };
    return pinned("primary") && pinned("backup");
}

}  // namespace testsupport
