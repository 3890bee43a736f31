#include "download/PartialFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "download/Digest.h"
#include "download/HttpFields.h"
#include "platform/Paths.h"
#include "platform/PlainFile.h"
#include "platform/Writeback.h"

namespace download {

namespace {

// Notes of version 2 said nothing of what reached the disk: they are not read, so their
// bytes start over.
constexpr char kNoteMagic[] = "partial download 3";
constexpr char kDataSuffix[] = ".partial";
constexpr char kNoteSuffix[] = ".partial-note";
constexpr char kNewNoteSuffix[] = ".partial-new";  // no longer than kNoteSuffix
constexpr int kWeekSeconds = 7 * 24 * 3600;

// ".name.partial-note" must fit where "name" did: a long name keeps its start, cut at a
// character, and a hash of the whole tells long names with the same start apart.
QString hiddenBase(const QString& name) {
    const QByteArray bytes = name.toUtf8();
    const int room = PartialFile::kLongestName - 1 - int(std::strlen(kNoteSuffix));
    if (bytes.size() <= room) return '.' + name;
    const QByteArray hash =
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(12);
    qsizetype keep = room - 1 - hash.size();
    while (keep > 0 && (static_cast<unsigned char>(bytes[keep]) & 0xC0) == 0x80) --keep;
    return '.' + QString::fromUtf8(bytes.left(keep)) + '~' + QString::fromLatin1(hash);
}

platform::OpenedPlainFile openPlain(const QString& path, bool create,
                                    platform::PlainFileLock lock = platform::PlainFileLock::None) {
    return platform::OpenPlainFile(path.toUtf8().toStdString(), create, lock);
}

// A link or a second name is dropped (the name only: what it points to stays untouched);
// a folder only when empty.
void clearObstacle(const QString& path) {
    if (!QFile::remove(path)) QDir().rmdir(path);
}

}  // namespace

QByteArray PartialNote::format() const {
    return QByteArray(kNoteMagic) + '\n' + url.toEncoded() + '\n' + finalUrl.toEncoded() + '\n' +
           validator.toUtf8() + '\n' + QByteArray::number(total) + '\n' + digest.toUtf8() + '\n' +
           QByteArray::number(synced) + '\n';
}

std::optional<PartialNote> PartialNote::parse(const QByteArray& text) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() != 8 || lines[0] != kNoteMagic || !lines[7].isEmpty()) return std::nullopt;
    PartialNote note;
    note.url = QUrl::fromEncoded(lines[1], QUrl::StrictMode);
    note.finalUrl = QUrl::fromEncoded(lines[2], QUrl::StrictMode);
    note.validator = QString::fromUtf8(lines[3]);
    if (!note.url.isValid() || !note.finalUrl.isValid() || note.validator.isEmpty() ||
        note.validator.contains(QChar::ReplacementCharacter))
        return std::nullopt;
    if (lines[4] != "-1") {
        const auto total = parseByteCount(lines[4]);
        if (!total) return std::nullopt;
        note.total = *total;
    }
    note.digest = QString::fromUtf8(lines[5]);
    if (!note.digest.isEmpty()) {
        const auto digest = ExpectedDigest::fromText(note.digest);
        if (!digest || digest->toText() != note.digest) return std::nullopt;
    }
    const auto synced = parseByteCount(lines[6]);
    if (!synced || (note.total >= 0 && *synced > note.total)) return std::nullopt;
    note.synced = *synced;
    // Only what format() writes comes back; anything else was not written by us.
    if (note.format() != text) return std::nullopt;
    return note;
}

PartialFile::PartialFile(const QString& destination) {
    const QFileInfo info(destination);
    const QString base = info.path() + '/' + hiddenBase(info.fileName());
    dataPath_ = base + kDataSuffix;
    notePath_ = base + kNoteSuffix;
    newNotePath_ = base + kNewNoteSuffix;
}

bool PartialFile::open(QFile& file, QString& problem, bool& heldElsewhere) const {
    constexpr auto kHold = platform::PlainFileLock::Try;
    auto opened = openPlain(dataPath_, true, kHold);
    if (opened.inTheWay) {
        clearObstacle(dataPath_);
        opened = openPlain(dataPath_, true, kHold);
    }
    // The copy that held it may have delivered it meanwhile, renaming it to the destination:
    // what the lock was taken on must still be the partial, else the name is tried afresh.
    int tries = 0;
    while (opened.fd >= 0 &&
           !platform::StillNamesPlainFile(opened.fd, dataPath_.toUtf8().toStdString())) {
        platform::ClosePlainFile(opened.fd);
        opened = ++tries < 3 ? openPlain(dataPath_, true, kHold)
                             : platform::OpenedPlainFile{.error = EBUSY};
    }
    heldElsewhere = opened.heldElsewhere;
    file.setFileName(dataPath_);
    if (opened.fd >= 0 && file.open(opened.fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle))
        return true;
    if (opened.fd >= 0) platform::ClosePlainFile(opened.fd);
    const QString name = QFileInfo(dataPath_).fileName();
    problem = opened.inTheWay ? QFile::tr("%1 is in the way and is not ours to remove").arg(name)
                              : QString::fromLocal8Bit(std::strerror(opened.error));
    return false;
}

std::optional<PartialNote> PartialFile::readNote() const {
    const auto opened = openPlain(notePath_, false);
    if (opened.fd < 0) return std::nullopt;
    QFile file;
    if (!file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        platform::ClosePlainFile(opened.fd);
        return std::nullopt;
    }
    // A note is a few hundred bytes; anything much larger is not one of ours.
    return PartialNote::parse(file.read(64 * 1024));
}

// Like the bytes, the note is written only into a plain file of ours: a link planted at either
// name is never followed (it carries one of the server's lines verbatim). It goes to a fresh
// name, synced, and is renamed over the note, which replaces a link there, not its target.
bool PartialFile::writeNote(const PartialNote& note) const {
    auto opened = openPlain(newNotePath_, true);
    if (opened.inTheWay) {
        clearObstacle(newNotePath_);
        opened = openPlain(newNotePath_, true);
    }
    if (opened.fd < 0) return false;
    QFile file;
    if (!file.open(opened.fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        platform::ClosePlainFile(opened.fd);
        return false;
    }
    const QByteArray text = note.format();
    const bool written =
        file.resize(0) && file.write(text) == text.size() && file.flush() &&
        platform::SyncToDisk(file.handle()) &&
        platform::StillNamesPlainFile(file.handle(), newNotePath_.toUtf8().toStdString());
    file.close();
    const auto from = platform::PathFromUtf8(newNotePath_.toUtf8().toStdString());
    const auto to = platform::PathFromUtf8(notePath_.toUtf8().toStdString());
    std::error_code error;
    if (written) std::filesystem::rename(from, to, error);
    if (written && error) {
        // An empty folder at the note's name, say.
        clearObstacle(notePath_);
        std::filesystem::rename(from, to, error);
    }
    if (!written || error) {
        QFile::remove(newNotePath_);
        return false;
    }
    return true;
}

void PartialFile::forget() const {
    QFile::remove(notePath_);
}

void PartialFile::remove() const {
    forget();
    QFile::remove(dataPath_);
}

void PartialFile::removeAbandoned(const QString& folder, const QDateTime& now) {
    const QDir dir(folder);
    const auto entries =
        dir.entryInfoList({QStringLiteral(".*") + kDataSuffix, QStringLiteral(".*") + kNoteSuffix,
                           QStringLiteral(".*") + kNewNoteSuffix},
                          QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries)
        if (entry.lastModified().secsTo(now) > kWeekSeconds) QFile::remove(entry.filePath());
}

}  // namespace download
