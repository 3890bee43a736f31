#pragma once
// The bytes of an unfinished transfer, kept beside the destination under a hidden name (no
// folder scan and no catalogue mask ever sees it), with a small note of what the bytes are:
// the address, where it led, the server's validator, the whole size and digest, and how many
// of the bytes were synced to the disk. A later transfer of the same address may ask for the
// rest from there, bound by all of these.
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QUrl>
#include <optional>

namespace download {

struct PartialNote {
    QUrl url;       // as queued
    QUrl finalUrl;  // where the bytes came from, after redirects
    QString validator;
    qint64 total = -1;  // the whole file's size, -1 when never told
    QString digest;     // ExpectedDigest::toText(), empty when none came
    // Bytes known to be on the disk. Beyond them a power cut may leave zeros or stale blocks
    // however long the file is, so a resume starts here and never at the file's size.
    qint64 synced = 0;
    QByteArray format() const;
    // Anything but a well-formed note of this version is nullopt.
    static std::optional<PartialNote> parse(const QByteArray& text);
    bool operator==(const PartialNote&) const = default;
};

class PartialFile {
  public:
    explicit PartialFile(const QString& destination);

    const QString& dataPath() const { return dataPath_; }
    // Opens (creating) the partial bytes into `file` as a plain file of ours; a link, a
    // hard link or an empty folder planted under the name is removed first. The open holds
    // them for this transfer until `file` is closed: a second copy of the program that finds
    // them held gets `heldElsewhere` and must leave them, and their note, alone. False with a
    // sentence for the user when that cannot be done.
    bool open(QFile& file, QString& problem, bool& heldElsewhere) const;
    // The note of the bytes, when there is a well-formed one.
    std::optional<PartialNote> readNote() const;
    // Records what the bytes belong to; false when the note cannot be written.
    bool writeNote(const PartialNote& note) const;
    // Removes the note only: the bytes left are no longer resumable.
    void forget() const;
    void remove() const;
    // Removes our partial files and notes in `folder` untouched for a week: downloads that
    // were given up and would otherwise stay hidden there for ever.
    static void removeAbandoned(const QString& folder, const QDateTime& now);

    // A name fits a folder entry only up to this many bytes.
    static constexpr int kLongestName = 255;

  private:
    QString dataPath_;
    QString notePath_;
    QString newNotePath_;  // the next note, until it replaces the last
};

}  // namespace download
