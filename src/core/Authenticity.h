#pragma once
// Whether a downloaded program or library may be started or placed: it must be signed, its
// signature must hold over the whole file, and the signer's key must be one the vendor built
// in or this machine's administrator pinned. The pin decides, not the certificate's dates.
// The texts here are what the user is told.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {
class HeldFile;
}

// The vendor's keys set when the program was built (CORVALITE_PUBLISHER_KEYS).
std::vector<std::string> BuildTimePublisherKeys();

// Pinned signing keys: SHA-256 of each SubjectPublicKeyInfo, 64 lower-case hex digits.
class PublisherPins {
  public:
    PublisherPins() = default;
    explicit PublisherPins(std::vector<std::string> keys) : keys_(std::move(keys)) {}
    // The keys built into the program, then those of the machine's lists; nothing a user can
    // write (their hive, their own configuration, the program's folder) is asked.
    static PublisherPins Trusted(std::vector<std::string> builtIn = BuildTimePublisherKeys());

    bool Contains(std::string_view keySha256) const;
    const std::vector<std::string>& keys() const { return keys_; }

  private:
    std::vector<std::string> keys_;
};

struct Authenticity {
    bool trusted = false;
    std::string publisher;  // trusted: who signed it, "CN=…, O=…"
    std::string reason;     // refused: what is wrong, in plain words, naming the file
};

// Checks the file held open as `held`, which is named `path`; the user is told its last part.
Authenticity CheckAuthenticity(const platform::HeldFile& held, const std::string& path,
                               const PublisherPins& pins);

// Refused because the name no longer named the checked file when it was to be used.
Authenticity ReplacedAfterCheck(std::string_view fileName);

// What became of a refused file, for the message.
enum class RefusedFileFate {
    RemovedFromDownloads,  // deleted from the download folder
    RemovedFromProduct,    // it had already been placed, and was deleted there again
    NotRemoved,            // it could not be deleted (from `folder`)
};

// The one message about a refused file: the reason, what became of the file, what to do.
std::string RefusalNotice(const Authenticity& refused, RefusedFileFate fate,
                          std::string_view folder);

// Shown where the download is reported: "Signed by CN=…".
std::string PublisherCaption(const Authenticity& trusted);
