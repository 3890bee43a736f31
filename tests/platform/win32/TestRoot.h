#pragma once
// The signature fixtures' CA in the current user's Root store, for the tests that need a
// chain to end at a trusted root. Only under Wine: on Windows adding a root there asks the
// user first. Wine's chain engine reads the store once a process, at its first check, so
// install or remove the root before the process checks anything.
#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PlatformTest.h"
#include "platform/Paths.h"

namespace platformtest {

inline std::vector<BYTE> TestRootDer() {
    std::ifstream in(platform::PathFromUtf8(SignedFixture("root.der")), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whether the root was added (or was there already).
inline bool InstallTestRoot() {
    const std::vector<BYTE> der = TestRootDer();
    const HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (der.empty() || store == nullptr) return false;
    const bool added = CertAddEncodedCertificateToStore(
                           store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                           CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
    CertCloseStore(store, 0);
    return added;
}

// Whether the root is gone (or was not there). Through the registry store itself: Wine
// deletes a certificate found through the system store from its copy in memory only.
inline bool RemoveTestRoot() {
    const std::vector<BYTE> der = TestRootDer();
    const CERT_CONTEXT* const wanted =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    const HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                           CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    bool gone = false;
    if (wanted != nullptr && store != nullptr) {
        const CERT_CONTEXT* const found = CertFindCertificateInStore(
            store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr);
        gone = found == nullptr || CertDeleteCertificateFromStore(found) != 0;  // frees found
    }
    if (store != nullptr) CertCloseStore(store, 0);
    if (wanted != nullptr) CertFreeCertificateContext(wanted);
    return gone;
}

}  // namespace platformtest
