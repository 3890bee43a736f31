#include "core/Authenticity.h"

#include <algorithm>

#include "platform/HeldFile.h"
#include "platform/MachineTrust.h"
#include "platform/Signature.h"

namespace {

using platform::SignatureStatus;

std::string Quoted(std::string_view name) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "\"" + text + "\"".
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted.push_back('"');
    quoted.append(name);
    quoted.push_back('"');
    return quoted;
}

std::string_view LastPart(std::string_view path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

Authenticity Refused(std::string reason) {
    Authenticity verdict;
    verdict.reason = std::move(reason);
    return verdict;
}

// Plain words for each way a signature check fails.
std::string FailureReason(SignatureStatus status, const std::string& file) {
    switch (status) {
        case SignatureStatus::NotSigned:
            return file + " is not signed.";
        case SignatureStatus::DigestMismatch:
            return file + " was changed after it was signed.";
        case SignatureStatus::BadSignature:
            return "The signature of " + file + " is broken and proves nothing.";
        case SignatureStatus::WrongKeyUsage:
            return file + " is signed with a certificate that is not meant for signing programs.";
        case SignatureStatus::DataOutsideImage:
            return file + " has data added to it that its signature does not cover.";
        case SignatureStatus::Malformed:
            return file + " is not a program or library that can be verified.";
        case SignatureStatus::Unreadable:
        case SignatureStatus::Valid:
            break;
    }
    return file + " could not be read to check who signed it.";
}

}  // namespace

std::vector<std::string> BuildTimePublisherKeys() {
    // Checked and put in lower case when the build was configured.
    return platform::KeyHashesFromList(CORVALITE_PUBLISHER_KEYS);
}

PublisherPins PublisherPins::Trusted(std::vector<std::string> builtIn) {
    std::vector<std::string> keys = std::move(builtIn);
    // Asked at every check: an administrator's change counts without a restart.
    const std::vector<std::string> machine = platform::MachineTrustedPublisherKeys();
    keys.insert(keys.end(), machine.begin(), machine.end());
    return PublisherPins(std::move(keys));
}

bool PublisherPins::Contains(std::string_view keySha256) const {
    return !keySha256.empty() && std::find(keys_.begin(), keys_.end(), keySha256) != keys_.end();
}

Authenticity CheckAuthenticity(const platform::HeldFile& held, const std::string& path,
                               const PublisherPins& pins) {
    const std::string file = Quoted(LastPart(path));
    if (!held.isOpen()) return Refused(FailureReason(SignatureStatus::Unreadable, file));
    const platform::SignatureCheck check = platform::CheckSignature(held.fd(), path);
    if (!check.valid()) return Refused(FailureReason(check.status, file));
    if (!pins.Contains(check.signerKeySha256)) {
        const std::string signer =
            check.signerSubject.empty() ? "someone unnamed" : check.signerSubject;
        return Refused(file + " is signed by " + signer + ", not by the vendor.");
    }
    Authenticity verdict;
    verdict.trusted = true;
    verdict.publisher = check.signerSubject;
    return verdict;
}

Authenticity ReplacedAfterCheck(std::string_view fileName) {
    return Refused(Quoted(fileName) + " was replaced by another file after it had been checked.");
}

std::string RefusalNotice(const Authenticity& refused, RefusedFileFate fate,
                          std::string_view folder) {
    std::string text = refused.reason + " ";
    switch (fate) {
        case RefusedFileFate::RemovedFromDownloads:
            text += "It was removed from the download folder.";
            break;
        case RefusedFileFate::RemovedFromProduct:
            text += "It was removed again from " + std::string(folder) + ".";
            break;
        case RefusedFileFate::NotRemoved:
            text += "It could not be removed from " + std::string(folder) +
                    "; delete it yourself and do not open it.";
            break;
    }
    return text +
           " Try again later; if this keeps happening, the download server or your network may "
           "have been tampered with \u2014 tell the vendor.";
}

std::string PublisherCaption(const Authenticity& trusted) {
    return "Signed by " + trusted.publisher;
}
