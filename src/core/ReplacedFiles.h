#pragma once
// Every file an install replaces in a product's folder is kept first, so the install can be
// undone, and the replace is journalled, so a program stopped at any point finds either the
// old file or the new one at the target at its next start, never neither and never a part.
//
// The store keeps one previous copy per target path, and at most kMaxEntries copies or
// kMaxBytes bytes together: when a new copy would exceed either, the oldest go first (the
// newest copy always stays, however large).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct KeptFile {
    std::string target;           // the full path the file was replaced at
    std::string copy;             // where its copy lies in the store
    std::string version;          // its version record ("1.2.3.4"); empty when it had none
    std::int64_t replacedAt = 0;  // seconds since 1970
    std::uint64_t size = 0;
};

// The small text files of the store; they lie in the user's folder, so they are read as
// outside input: anything malformed is nothing.
std::string FormatKeptIndex(const KeptFile& kept);
std::optional<KeptFile> ParseKeptIndex(std::string_view text);

enum class ReplaceStep {
    JournalWritten,  // the journal names the target and the copy to be made
    OldFileKept,     // the old file's copy is whole and on disk
    NewFilePlaced,   // the new file was renamed over the target
    MarkedPlaced,    // the journal says so
    CopyPromoted,    // the copy became the target's previous copy
    IndexWritten,    // its index says where it came from
};

class ReplacedFiles {
  public:
    static constexpr std::size_t kMaxEntries = 64;
    static constexpr std::uint64_t kMaxBytes = 256ull * 1024 * 1024;

    // `folder` is the store's folder, with or without a trailing delimiter; made when needed.
    explicit ReplacedFiles(std::string folder, std::size_t maxEntries = kMaxEntries,
                           std::uint64_t maxBytes = kMaxBytes);

    enum class Outcome {
        Replaced,     // the new file is in place and the old one kept
        NotReplaced,  // place() left the target alone (the user said no, or it failed)
        NotKept,      // the old file could not be kept, so nothing was touched
    };

    // Replaces the file at `target` (which exists) by calling `place`, which must put the new
    // file there in one rename or leave the target as it was, and say which it did.
    Outcome Replace(const std::string& target, const std::function<bool()>& place,
                    std::int64_t now);
    // Puts the kept copy of `target` back the same way, keeping the file it replaces, so a
    // restore can itself be undone. NotKept also when there is no kept copy.
    Outcome Restore(const std::string& target, std::int64_t now);

    std::optional<KeptFile> Find(const std::string& target) const;
    std::vector<KeptFile> Entries() const;

    // Finishes or undoes a replace that a stop interrupted. Run before the products' folders
    // are read.
    void Replay();

    // For the tests that stop the program at each step.
    std::function<void(ReplaceStep)> onStep;

  private:
    struct Journal;
    std::string SlotOf(const std::string& target) const;
    std::string JournalPath() const;
    void Step(ReplaceStep step) const;
    void Promote(const Journal& journal);
    void Prune(const std::string& keepSlot);

    std::string folder_;
    std::size_t maxEntries_;
    std::uint64_t maxBytes_;
};
