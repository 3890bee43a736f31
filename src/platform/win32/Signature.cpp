#include "platform/Signature.h"

#include <windows.h>
#include <io.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/PeSignedImage.h"
#include "platform/win32/SignerCertificate.h"
#include "platform/win32/Wide.h"

namespace platform {

namespace {

// Reads at offsets of the handle itself, so nothing depends on where its position was left.
class HandleReader {
  public:
    explicit HandleReader(HANDLE file) : file_(file) {}
    bool operator()(std::uint64_t offset, std::size_t size, std::uint8_t* out) {
        while (size > 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(file_, out, part, &got, &at)) {
                if (GetLastError() != ERROR_HANDLE_EOF) failed_ = true;
                return false;
            }
            if (got == 0) return false;  // shorter than the reader was told
            offset += got;
            out += got;
            size -= got;
        }
        return true;
    }
    bool failed() const { return failed_; }

  private:
    HANDLE file_;
    bool failed_ = false;
};

// One WinVerifyTrust verification, its state closed again whatever happened.
class Verification {
  public:
    Verification(HANDLE file, const std::string& pathUtf8) : path_(win32::Wide(pathUtf8)) {
        file_.cbStruct = sizeof file_;
        file_.pcwszFilePath = path_.c_str();
        file_.hFile = file;  // the bytes we hold, not whatever the name leads to
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        // Revocation from what the machine has cached only: a check must work offline too.
        data_.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        result_ = WinVerifyTrust(NoUser(), &action_, &data_);
    }
    ~Verification() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(NoUser(), &action_, &data_);
    }
    Verification(const Verification&) = delete;
    Verification& operator=(const Verification&) = delete;

    HRESULT result() const { return static_cast<HRESULT>(result_); }
    // The first signer as this verification saw it; null when it got no signer that far.
    const CRYPT_PROVIDER_SGNR* signer() const {
        CRYPT_PROVIDER_DATA* const provider = WTHelperProvDataFromStateData(data_.hWVTStateData);
        return provider == nullptr ? nullptr
                                   : WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    }

  private:
    // No window and no one to ask: never any prompt, also where a policy would want one.
    static HWND NoUser() { return static_cast<HWND>(INVALID_HANDLE_VALUE); }

    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    std::wstring path_;
    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    LONG result_ = 0;
};

std::string HexResult(HRESULT result) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
    return text;
}

// Our layout reader found a signature table before we asked, so "no signature" here means
// one the system cannot read, as do a message of another kind and bytes that decode to none.
SignatureStatus StatusOfFailure(HRESULT result) {
    switch (result) {
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
        case CRYPT_E_BAD_ENCODE:
        case CRYPT_E_BAD_MSG:
        case CRYPT_E_INVALID_MSG_TYPE:
        case CRYPT_E_UNEXPECTED_MSG_TYPE:
            return SignatureStatus::Malformed;
        case TRUST_E_BAD_DIGEST:
            return SignatureStatus::DigestMismatch;
        case CERT_E_WRONG_USAGE:
            return SignatureStatus::WrongKeyUsage;
        default:
            // The ASN.1 decoder's errors: the signature's bytes are no valid structure.
            if ((static_cast<unsigned long>(result) & 0xFFFFFF00ul) == 0x80093100ul)
                return SignatureStatus::Malformed;
            return SignatureStatus::BadSignature;
    }
}

void NameSigner(SignatureCheck& check, const CERT_CONTEXT& cert) {
    check.signerKeySha256 = win32::KeySha256(cert);
    check.signerSubject = win32::Subject(cert);
}

SignatureCheck Conclude(SignatureCheck& check, SignatureStatus status, std::string detail) {
    check.status = status;
    check.detail = std::move(detail);
    return check;
}

// A signature the layout found, over an image with nothing outside it: what the system says,
// then what we check ourselves.
SignatureCheck Verify(HANDLE file, const std::string& pathUtf8, const PeSignedImage& image) {
    SignatureCheck check;
    const Verification verification(file, pathUtf8);
    const CRYPT_PROVIDER_SGNR* const signer = verification.signer();
    if (signer != nullptr && signer->csCertChain > 0 && signer->pasCertChain != nullptr &&
        signer->pasCertChain[0].pCert != nullptr) {
        NameSigner(check, *signer->pasCertChain[0].pCert);
    } else if (const auto cert = win32::SignerOfSignedData(image.signedData)) {
        NameSigner(check, *cert);  // a failed verification may have stopped before its signer
    }

    // Unknown revocation is no fault (see SignerCertificate.cpp): when that is all the system
    // reports, our own look at the chain below decides.
    const HRESULT result = verification.result();
    const bool revocationUnknown = result == CERT_E_REVOCATION_FAILURE ||
                                   result == CRYPT_E_REVOCATION_OFFLINE ||
                                   result == CRYPT_E_NO_REVOCATION_CHECK;
    if (result != S_OK && !revocationUnknown)
        return Conclude(check, StatusOfFailure(result), "WinVerifyTrust " + HexResult(result));
    if (signer == nullptr)
        return Conclude(check, SignatureStatus::BadSignature,
                        "WinVerifyTrust passed without a signer");
    // Expiry as the system judged it: a timestamped signature outlives its certificate.
    win32::ChainVerdict verdict = win32::CheckSigner(*signer, result == S_OK);
    return Conclude(check, verdict.status, std::move(verdict.detail));
}

}  // namespace

SignatureCheck CheckSignature(int fd, const std::string& pathUtf8) {
    SignatureCheck check;
    // A C runtime of the newer kind ends the program on a bad descriptor instead of saying so.
    const auto file = fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    LARGE_INTEGER size{};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size) || size.QuadPart < 0)
        return Conclude(check, SignatureStatus::Unreadable, "the file cannot be read");
    HandleReader reader(file);
    const PeSignedImage image =
        ReadPeSignedImage([&reader](std::uint64_t offset, std::size_t bytes,
                                    std::uint8_t* out) { return reader(offset, bytes, out); },
                          static_cast<std::uint64_t>(size.QuadPart));
    if (reader.failed())
        return Conclude(check, SignatureStatus::Unreadable, "reading the file failed");
    if (!image.isPe || !image.malformed.empty())
        return Conclude(check, SignatureStatus::Malformed,
                        image.malformed.empty() ? "not a PE image" : image.malformed);
    if (!image.hasSignature) return Conclude(check, SignatureStatus::NotSigned, "no signature");
    // The system accepts bytes after the signature unless a registry setting forbids it (and
    // Wine's then finds no signature at all); nothing vouches for them, so we refuse them
    // before asking, and name the signer from the signature's own certificates.
    if (image.dataOutsideImage) {
        if (const auto cert = win32::SignerOfSignedData(image.signedData)) NameSigner(check, *cert);
        return Conclude(check, SignatureStatus::DataOutsideImage, "bytes outside the signed image");
    }
    return Verify(file, pathUtf8, image);
}

}  // namespace platform
