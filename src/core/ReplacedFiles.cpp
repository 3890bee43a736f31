#include "core/ReplacedFiles.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "core/TextUtils.h"
#include "core/verinfo.h"
#include "platform/DurableFile.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace {

// The names inside one target's slot: the previous copy, the copy being made and its index.
constexpr const char* kPrevious = "previous";
constexpr const char* kNext = "next";
constexpr const char* kNextPart = "next.part";
constexpr const char* kIndex = "index";
// Beside the target while a restore copies the kept file back.
constexpr const char* kRestoring = ".restoring";

bool Exists(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(fs::symlink_status(platform::PathFromUtf8(path), error));
}

void Remove(const std::string& path) {
    std::error_code ignored;
    fs::remove(platform::PathFromUtf8(path), ignored);
}

// A slot whose first replace was undone holds nothing; fs::remove leaves a folder with files.
void RemoveIfEmpty(const std::string& folder) {
    std::error_code ignored;
    fs::remove(platform::PathFromUtf8(folder), ignored);
}

std::uint64_t SizeOf(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(platform::PathFromUtf8(path), error);
    return error ? 0 : size;
}

bool SameContent(const std::string& a, const std::string& b) {
    std::ifstream left(platform::PathFromUtf8(a), std::ios::binary);
    std::ifstream right(platform::PathFromUtf8(b), std::ios::binary);
    if (!left || !right || SizeOf(a) != SizeOf(b)) return false;
    char x[16384];
    char y[16384];
    while (left && right) {
        left.read(x, sizeof x);
        right.read(y, sizeof y);
        if (left.gcount() != right.gcount() || !std::equal(x, x + left.gcount(), y)) return false;
    }
    return left.eof() && right.eof();
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
    std::string text;
    char buffer[4096];
    // An index or journal is a few lines; anything larger is not ours.
    while (in && text.size() < 64 * 1024) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    return text;
}

// Values are one line each: the few characters that would break a line are escaped.
std::string Escape(std::string_view value) {
    std::string out;
    for (const char c : value) {
        if (c == '%')
            out += "%25";
        else if (c == '\n')
            out += "%0A";
        else if (c == '\r')
            out += "%0D";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        const std::string_view code = value.substr(i + 1, 2);
        if (code == "25")
            out += '%';
        else if (code == "0A")
            out += '\n';
        else if (code == "0D")
            out += '\r';
        else
            return std::nullopt;
        i += 2;
    }
    return out;
}

using Fields = std::map<std::string, std::string, std::less<>>;

std::string FormatFields(const Fields& fields) {
    std::string text;
    for (const auto& [key, value] : fields) text += key + "=" + Escape(value) + "\n";
    return text;
}

std::optional<Fields> ParseFields(std::string_view text) {
    Fields fields;
    while (!text.empty()) {
        const auto end = text.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // cut short
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) return std::nullopt;
        auto value = Unescape(line.substr(equals + 1));
        if (!value) return std::nullopt;
        if (!fields.emplace(std::string(line.substr(0, equals)), std::move(*value)).second)
            return std::nullopt;
    }
    return fields;
}

template <typename Number>
std::optional<Number> NumberField(const Fields& fields, std::string_view key) {
    const auto found = fields.find(key);
    if (found == fields.end() || found->second.empty()) return std::nullopt;
    Number number{};
    const char* const first = found->second.data();
    const char* const last = first + found->second.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last || number < 0) return std::nullopt;
    return number;
}

std::string TextField(const Fields& fields, std::string_view key) {
    const auto found = fields.find(key);
    return found == fields.end() ? std::string() : found->second;
}

// FNV-1a: a slot's name only spreads the targets; its index names the target itself.
std::string HashName(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) name[static_cast<std::size_t>(i)] = kHex[hash & 15];
    return name;
}

}  // namespace

std::string FormatKeptIndex(const KeptFile& kept) {
    return FormatFields({{"target", kept.target},
                         {"version", kept.version},
                         {"replaced", std::to_string(kept.replacedAt)},
                         {"size", std::to_string(kept.size)}});
}

std::optional<KeptFile> ParseKeptIndex(std::string_view text) {
    const auto fields = ParseFields(text);
    if (!fields) return std::nullopt;
    KeptFile kept;
    kept.target = TextField(*fields, "target");
    kept.version = TextField(*fields, "version");
    const auto at = NumberField<std::int64_t>(*fields, "replaced");
    const auto size = NumberField<std::uint64_t>(*fields, "size");
    if (kept.target.empty() || !at || !size) return std::nullopt;
    kept.replacedAt = *at;
    kept.size = *size;
    return kept;
}

struct ReplacedFiles::Journal {
    std::string target;
    std::string slot;
    bool placed = false;  // the new file is in place; only the store is left to tidy
    std::string version;
    std::int64_t at = 0;

    std::string Format() const {
        return FormatFields({{"target", target},
                             {"slot", slot},
                             {"phase", placed ? "placed" : "keeping"},
                             {"version", version},
                             {"at", std::to_string(at)}});
    }
};

ReplacedFiles::ReplacedFiles(std::string folder, std::size_t maxEntries, std::uint64_t maxBytes)
    : folder_(std::move(folder)), maxEntries_(maxEntries), maxBytes_(maxBytes) {
    if (!folder_.empty() && folder_.back() != PathDelim) folder_ += PathDelim;
}

std::string ReplacedFiles::SlotOf(const std::string& target) const {
    return folder_ + HashName(target) + PathDelim;
}

std::string ReplacedFiles::JournalPath() const {
    return folder_ + "journal";
}

void ReplacedFiles::Step(ReplaceStep step) const {
    if (onStep) onStep(step);
}

ReplacedFiles::Outcome ReplacedFiles::Replace(const std::string& target,
                                              const std::function<bool()>& place,
                                              std::int64_t now) {
    Journal journal{target, SlotOf(target), false, FullVersionText(target), now};
    std::error_code error;
    fs::create_directories(platform::PathFromUtf8(journal.slot), error);
    if (error || !platform::WriteFileDurably(JournalPath(), journal.Format())) {
        RemoveIfEmpty(journal.slot);
        return Outcome::NotKept;
    }
    Step(ReplaceStep::JournalWritten);
    const std::string next = journal.slot + kNext;
    if (!platform::CopyFileDurably(target, next, journal.slot + kNextPart)) {
        RemoveIfEmpty(journal.slot);
        Remove(JournalPath());
        return Outcome::NotKept;
    }
    Step(ReplaceStep::OldFileKept);
    const bool placed = place();
    Step(ReplaceStep::NewFilePlaced);
    // A placement that reports a failure may still have put the file there (a move whose
    // source could not be removed): what lies at the target decides.
    if (!Exists(target)) {
        platform::CopyFileDurably(next, target, target + kRestoring);
    } else if (placed || !SameContent(target, next)) {
        Promote(journal);
        return Outcome::Replaced;
    }
    Remove(next);
    RemoveIfEmpty(journal.slot);
    Remove(JournalPath());
    return Outcome::NotReplaced;
}

void ReplacedFiles::Promote(const Journal& begun) {
    Journal journal = begun;
    if (!journal.placed) {
        journal.placed = true;
        platform::WriteFileDurably(JournalPath(), journal.Format());
        Step(ReplaceStep::MarkedPlaced);
    }
    const std::string next = journal.slot + kNext;
    const std::string previous = journal.slot + kPrevious;
    if (Exists(next)) platform::RenameOver(next, previous);
    Step(ReplaceStep::CopyPromoted);
    const KeptFile kept{journal.target, previous, journal.version, journal.at, SizeOf(previous)};
    platform::WriteFileDurably(journal.slot + kIndex, FormatKeptIndex(kept));
    Step(ReplaceStep::IndexWritten);
    Remove(JournalPath());
    Prune(journal.slot);
}

ReplacedFiles::Outcome ReplacedFiles::Restore(const std::string& target, std::int64_t now) {
    const auto kept = Find(target);
    if (!kept) return Outcome::NotKept;
    const auto putBack = [&] {
        return platform::CopyFileDurably(kept->copy, target, target + kRestoring);
    };
    if (!Exists(target)) return putBack() ? Outcome::Replaced : Outcome::NotReplaced;
    return Replace(target, putBack, now);
}

void ReplacedFiles::Replay() {
    const std::string text = ReadSmallFile(JournalPath());
    const auto fields = ParseFields(text);
    Journal journal;
    if (fields) {
        journal.target = TextField(*fields, "target");
        journal.slot = TextField(*fields, "slot");
        journal.placed = TextField(*fields, "phase") == "placed";
        journal.version = TextField(*fields, "version");
        journal.at = NumberField<std::int64_t>(*fields, "at").value_or(0);
    }
    // Only a slot of this store, as this store names it, is ever touched.
    if (journal.target.empty() || journal.slot != SlotOf(journal.target)) {
        Remove(JournalPath());
        return;
    }
    Remove(journal.slot + kNextPart);
    Remove(journal.target + kRestoring);
    const std::string next = journal.slot + kNext;
    if (journal.placed) {
        Promote(journal);
        return;
    }
    if (!Exists(journal.target)) {
        if (Exists(next))
            platform::CopyFileDurably(next, journal.target, journal.target + kRestoring);
    } else if (Exists(next) && !SameContent(journal.target, next)) {
        Promote(journal);
        return;
    }
    Remove(next);
    RemoveIfEmpty(journal.slot);
    Remove(JournalPath());
}

std::optional<KeptFile> ReplacedFiles::Find(const std::string& target) const {
    const std::string slot = SlotOf(target);
    auto kept = ParseKeptIndex(ReadSmallFile(slot + kIndex));
    if (!kept || kept->target != target || !Exists(slot + kPrevious)) return std::nullopt;
    kept->copy = slot + kPrevious;
    return kept;
}

std::vector<KeptFile> ReplacedFiles::Entries() const {
    std::vector<KeptFile> entries;
    std::error_code error;
    for (fs::directory_iterator it(platform::PathFromUtf8(folder_), error), end;
         !error && it != end; it.increment(error)) {
        if (!it->is_directory(error)) continue;
        const std::string slot = platform::Utf8FromPath(it->path()) + PathDelim;
        auto kept = ParseKeptIndex(ReadSmallFile(slot + kIndex));
        if (!kept || slot != SlotOf(kept->target) || !Exists(slot + kPrevious)) continue;
        kept->copy = slot + kPrevious;
        entries.push_back(std::move(*kept));
    }
    return entries;
}

void ReplacedFiles::Prune(const std::string& keepSlot) {
    std::vector<KeptFile> entries = Entries();
    // Newest first, the one just kept before all.
    std::sort(entries.begin(), entries.end(), [&](const KeptFile& a, const KeptFile& b) {
        const bool aKept = SlotOf(a.target) == keepSlot;
        const bool bKept = SlotOf(b.target) == keepSlot;
        if (aKept != bKept) return aKept;
        return a.replacedAt > b.replacedAt;
    });
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        bytes += entries[i].size;
        if (i == 0 || (i < maxEntries_ && bytes <= maxBytes_)) continue;
        std::error_code ignored;
        fs::remove_all(platform::PathFromUtf8(SlotOf(entries[i].target)), ignored);
    }
}
