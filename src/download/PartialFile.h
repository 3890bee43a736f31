#pragma once
// The bytes of an unfinished transfer, kept beside the destination under a hidden name (no
// folder scan and no catalogue mask ever sees it), with a small note of the address and the
// server's validator, so that a later transfer of the same address may ask for the rest.
#include <QString>
#include <QUrl>

namespace download {

class PartialFile {
  public:
    explicit PartialFile(const QString& destination);

    const QString& dataPath() const { return dataPath_; }
    // Bytes that may be resumed: those of a partial file whose note names `url` and a
    // validator; 0 (and the leftovers removed) when the partial file is not ours.
    qint64 resumable(const QUrl& url, QString& validator) const;
    // Records what the bytes belong to; false when the note cannot be written.
    bool note(const QUrl& url, const QString& validator) const;
    // Removes the note only: the bytes left are no longer resumable.
    void forget() const;
    void remove() const;

  private:
    QString dataPath_;
    QString notePath_;
};

}  // namespace download
