#pragma once
// Who signed a Windows program or library: its Authenticode signature, checked on a file we
// hold open, so that what was checked is what is then started or placed. Says who signed it
// and, when the check fails, why; whether that signer is trusted is the caller's to decide.
#include <string>

namespace platform {

enum class SignatureStatus {
    Valid,             // signed, the signature holds, and it covers the whole file
    NotSigned,         // a PE image without a signature
    DigestMismatch,    // signed, but the image was changed after it was signed
    BadSignature,      // the signature itself does not verify, or its chain is broken
    WrongKeyUsage,     // the signer's certificate is not one for signing code
    DataOutsideImage,  // bytes that the signature does not cover (appended after it)
    Malformed,         // not a PE image, or a signature that cannot be read
    Unreadable,        // the file could not be read
};

struct SignatureCheck {
    SignatureStatus status = SignatureStatus::Unreadable;
    // The signer certificate's SubjectPublicKeyInfo, SHA-256, 64 lower-case hex digits; set
    // whenever a signer certificate could be read (also when the check then failed).
    std::string signerKeySha256;
    // The signer's subject as people read it ("CN=…, O=…"), UTF-8; set with signerKeySha256.
    std::string signerSubject;
    // More detail for a log or a test; not for the user.
    std::string detail;
    bool valid() const { return status == SignatureStatus::Valid; }
};

// Checks the file open as `fd` (a C runtime descriptor, as OpenPlainFile and OpenFileForCheck
// hand out; read from its start, its position left undefined). `pathUtf8` names the same file
// for the services that want a name beside the handle.
SignatureCheck CheckSignature(int fd, const std::string& pathUtf8);

}  // namespace platform
