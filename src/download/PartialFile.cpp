#include "download/PartialFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace download {

namespace {
constexpr char kNoteMagic[] = "partial download 1";
}

PartialFile::PartialFile(const QString& destination) {
    const QFileInfo info(destination);
    const QString base = info.path() + '/' + '.' + info.fileName() + ".partial";
    dataPath_ = base;
    notePath_ = base + "-note";
}

qint64 PartialFile::resumable(const QUrl& url, QString& validator) const {
    QFile noteFile(notePath_);
    const QFileInfo data(dataPath_);
    if (!noteFile.open(QIODevice::ReadOnly) || !data.isFile()) {
        remove();
        return 0;
    }
    const QList<QByteArray> lines = noteFile.readAll().split('\n');
    const bool ours = lines.size() >= 3 && lines[0] == kNoteMagic &&
                      QUrl(QString::fromUtf8(lines[1])) == url && !lines[2].isEmpty();
    if (!ours || data.size() <= 0) {
        remove();
        return 0;
    }
    validator = QString::fromUtf8(lines[2]);
    return data.size();
}

bool PartialFile::note(const QUrl& url, const QString& validator) const {
    QSaveFile noteFile(notePath_);
    if (!noteFile.open(QIODevice::WriteOnly)) return false;
    noteFile.write(QByteArray(kNoteMagic) + '\n' + url.toEncoded() + '\n' + validator.toUtf8() +
                   '\n');
    return noteFile.commit();
}

void PartialFile::forget() const {
    QFile::remove(notePath_);
}

void PartialFile::remove() const {
    forget();
    QFile::remove(dataPath_);
}

}  // namespace download
