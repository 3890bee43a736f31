#pragma once
// Catches what the program hands the desktop's opener for one URL scheme while it lives, so
// a test can see which folder would have opened and no file manager ever does.
#include <QObject>
#include <QString>
#include <QUrl>
#include <string>
#include <vector>

class OpenedUrls : public QObject {
    Q_OBJECT
  public:
    explicit OpenedUrls(const QString& scheme = QStringLiteral("file"));
    ~OpenedUrls() override;
    OpenedUrls(const OpenedUrls&) = delete;
    OpenedUrls& operator=(const OpenedUrls&) = delete;

    std::vector<QUrl> urls;
    // Local paths of the file URLs, in order.
    std::vector<std::string> LocalPaths() const;

  public slots:
    void open(const QUrl& url);

  private:
    QString scheme_;
};
