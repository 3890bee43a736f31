#include "platform/win32/SignerCertificate.h"

#include <windows.h>
// windows.h first: the CNG header needs its types.
#include <bcrypt.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/Wide.h"

namespace platform::win32 {

namespace {

constexpr char kCodeSigning[] = szOID_PKIX_KP_CODE_SIGNING;

// Not knowing whether a certificate was revoked is no fault: revocation is looked up in the
// cache only, so that an offline machine can still check what it downloaded.
constexpr DWORD kRevocationUnknown =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr DWORD kExpired =
    CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED | CERT_TRUST_CTL_IS_NOT_TIME_VALID;

struct ChainFree {
    void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};
using ChainPtr = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

std::string Sha256Hex(const BYTE* data, DWORD size) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::uint8_t digest[32] = {};
    const bool done =
        BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)) &&
        BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(data), size, 0)) &&
        BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (hash != nullptr) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(provider, 0);
    return done ? Hex(digest, sizeof digest) : std::string();
}

// We insist on the code-signing usage being named: a certificate without any usage list
// counts as good for everything to the system, and so would pass for a code signer.
bool HasCodeSigningUsage(const CERT_CONTEXT& cert) {
    DWORD size = 0;
    if (!CertGetEnhancedKeyUsage(&cert, 0, nullptr, &size) || size < sizeof(CERT_ENHKEY_USAGE))
        return false;
    std::vector<std::uint64_t> buffer((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    if (!CertGetEnhancedKeyUsage(&cert, 0, usage, &size)) return false;
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i)
        if (std::strcmp(usage->rgpszUsageIdentifier[i], kCodeSigning) == 0) return true;
    return false;
}

// The chain as of the time the signature was checked for, from the certificates the
// signature carries and the system's stores, asking for the code-signing usage throughout.
ChainPtr BuildChain(const CERT_CONTEXT& cert, const FILETIME& asOf) {
    LPSTR usages[] = {const_cast<LPSTR>(kCodeSigning)};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    FILETIME time = asOf;
    const bool now = asOf.dwLowDateTime == 0 && asOf.dwHighDateTime == 0;
    const CERT_CHAIN_CONTEXT* chain = nullptr;
    if (!CertGetCertificateChain(
            nullptr, &cert, now ? nullptr : &time, cert.hCertStore, &para,
            CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY,
            nullptr, &chain))
        return nullptr;
    return ChainPtr(chain);
}

// A timestamp (either kind) is what lets a signature outlive its certificate. Wine's
// WinVerifyTrust passes an expired certificate without one, which Windows refuses as
// expired; so without a timestamp we never excuse expiry, whatever the system said.
bool IsTimestamped(const CRYPT_PROVIDER_SGNR& signer) {
    if (signer.csCounterSigners > 0) return true;
    if (signer.psSigner == nullptr) return false;
    const CRYPT_ATTRIBUTES& attributes = signer.psSigner->UnauthAttrs;
    for (DWORD i = 0; i < attributes.cAttr; ++i) {
        const char* const oid = attributes.rgAttr[i].pszObjId;
        if (oid != nullptr && (std::strcmp(oid, szOID_RSA_counterSign) == 0 ||
                               std::strcmp(oid, szOID_RFC3161_counterSign) == 0))
            return true;
    }
    return false;
}

std::string HexStatus(const char* what, DWORD value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%08lx", what, static_cast<unsigned long>(value));
    return text;
}

}  // namespace

std::string KeySha256(const CERT_CONTEXT& cert) {
    BYTE* encoded = nullptr;
    DWORD size = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                             &cert.pCertInfo->SubjectPublicKeyInfo, CRYPT_ENCODE_ALLOC_FLAG,
                             nullptr, &encoded, &size))
        return {};
    std::string hex = Sha256Hex(encoded, size);
    LocalFree(encoded);
    return hex;
}

std::string Subject(const CERT_CONTEXT& cert) {
    // The certificate keeps the least specific part first; people read "CN=…, O=…".
    constexpr DWORD kFormat = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;
    CERT_NAME_BLOB* name = &cert.pCertInfo->Subject;
    const DWORD length = CertNameToStrW(X509_ASN_ENCODING, name, kFormat, nullptr, 0);
    if (length <= 1) return {};
    std::wstring text(length, L'\0');
    const DWORD written = CertNameToStrW(X509_ASN_ENCODING, name, kFormat, text.data(), length);
    text.resize(written > 0 ? written - 1 : 0);
    return Utf8(text);
}

CertificatePtr SignerOfSignedData(const std::vector<std::uint8_t>& signedData) {
    if (signedData.empty()) return nullptr;
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(signedData.size()),
                         const_cast<BYTE*>(signedData.data())};
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_BLOB, &blob, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store,
                          &message, nullptr))
        return nullptr;
    const CERT_CONTEXT* cert = nullptr;
    DWORD size = 0;
    if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) &&
        size >= sizeof(CERT_INFO)) {
        std::vector<std::uint64_t> buffer((size + sizeof(std::uint64_t) - 1) /
                                          sizeof(std::uint64_t));
        auto* id = reinterpret_cast<CERT_INFO*>(buffer.data());
        if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, id, &size))
            cert = CertGetSubjectCertificateFromStore(store, X509_ASN_ENCODING, id);
    }
    CryptMsgClose(message);
    CertCloseStore(store, 0);  // the certificate keeps what it needs of the store
    return CertificatePtr(cert);
}

ChainVerdict CheckSigner(const CRYPT_PROVIDER_SGNR& signer, bool expiryAccepted) {
    if (signer.csCertChain == 0 || signer.pasCertChain == nullptr ||
        signer.pasCertChain[0].pCert == nullptr)
        return {SignatureStatus::BadSignature, "no signer certificate"};
    const CERT_CONTEXT& cert = *signer.pasCertChain[0].pCert;
    ChainPtr own;
    const CERT_CHAIN_CONTEXT* chain = signer.pChainContext;
    if (chain == nullptr) {
        own = BuildChain(cert, signer.sftVerifyAsOf);
        chain = own.get();
    }
    if (chain == nullptr) return {SignatureStatus::BadSignature, "no certificate chain"};
    DWORD faults = chain->TrustStatus.dwErrorStatus & ~kRevocationUnknown;
    if (expiryAccepted && IsTimestamped(signer)) faults &= ~kExpired;
    if ((faults & ~CERT_TRUST_IS_NOT_VALID_FOR_USAGE) != 0)
        return {SignatureStatus::BadSignature, HexStatus("certificate chain status", faults)};
    if ((faults & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) != 0 || !HasCodeSigningUsage(cert))
        return {SignatureStatus::WrongKeyUsage, "the signer's certificate is not for code signing"};
    return {SignatureStatus::Valid, {}};
}

}  // namespace platform::win32
