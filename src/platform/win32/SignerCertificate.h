#pragma once
// The signer's certificate of an Authenticode signature: who it is, and the checks of its
// chain and usage that we make ourselves, because Wine's wintrust passes chains to roots
// nobody trusts and certificates that are not for signing code.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Signature.h"

namespace platform::win32 {

struct CertificateFree {
    void operator()(const CERT_CONTEXT* cert) const { CertFreeCertificateContext(cert); }
};
using CertificatePtr = std::unique_ptr<const CERT_CONTEXT, CertificateFree>;

// SHA-256 of the DER SubjectPublicKeyInfo, lower-case hex; empty when it cannot be encoded.
std::string KeySha256(const CERT_CONTEXT& cert);
// The subject most specific part first ("CN=…, O=…"), UTF-8.
std::string Subject(const CERT_CONTEXT& cert);

// The signer's certificate of a PKCS#7 SignedData, read without verifying anything: who
// signed is reported also when the signature then fails.
CertificatePtr SignerOfSignedData(const std::vector<std::uint8_t>& signedData);

struct ChainVerdict {
    SignatureStatus status = SignatureStatus::BadSignature;
    std::string detail;
};
// Valid, or why not: the chain (the verification's own, else one we build at the time the
// signature was checked for) must reach a trusted root without a fault, the certificate must
// be one for code signing. `expiryAccepted`: the system found the signature valid, which
// excuses an expired certificate when the signature is timestamped.
ChainVerdict CheckSigner(const CRYPT_PROVIDER_SGNR& signer, bool expiryAccepted);

}  // namespace platform::win32
