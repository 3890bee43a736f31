#pragma once
// The sample vendor's signature on the sample site: a publisher made for one sandbox (a CA of
// its own and a code-signing certificate it issued, made with openssl), every program and
// library of the site signed with it (osslsigncode), and its key pinned where only an
// administrator may pin one. No key of it is ever kept outside the sandbox that made it.
#include <cstddef>
#include <string>

namespace demo {

struct SampleSigner {
    std::string certificate;  // the code-signing certificate, PEM
    std::string key;          // its private key, PEM, readable by its owner only
    std::string rootDer;      // the CA that issued it, DER, for a Windows root store
    std::string keySha256;    // SHA-256 of the certificate's SubjectPublicKeyInfo, lower-case hex
};

// The publisher kept in keyDir, made there first when keyDir does not hold one yet (keyDir must
// then be missing or empty; it is made readable by its owner only). Throws std::runtime_error
// with the tool's own message when openssl fails.
SampleSigner MakeSampleSigner(const std::string& keyDir);

// The publisher of keyDir as MakeSampleSigner left it; throws when keyDir holds none.
SampleSigner LoadSampleSigner(const std::string& keyDir);

// Signs every PE file below siteDir in place (SHA-256, no timestamp) and returns how many it
// signed; other files are left as they are.
std::size_t SignSampleSite(const std::string& siteDir, const SampleSigner& signer);

// Whether the file begins as a PE image does: "MZ", and "PE\0\0" where its header points.
bool IsPeFile(const std::string& path);

// Writes xdgDir/corvalite-update/trusted-publishers pinning the signer's key, as an
// administrator would in /etc/xdg: the file 0644, the folder 0755 (and xdgDir too when it is
// made here), so that everyone may read them and only their owner write. Returns its path.
std::string WriteTrustedPublishers(const std::string& xdgDir, const SampleSigner& signer);

}  // namespace demo
