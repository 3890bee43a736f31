#include "support/OpenedUrls.h"

#include <QDesktopServices>

OpenedUrls::OpenedUrls(const QString& scheme) : scheme_(scheme) {
    QDesktopServices::setUrlHandler(scheme_, this, "open");
}

OpenedUrls::~OpenedUrls() {
    QDesktopServices::unsetUrlHandler(scheme_);
}

std::vector<std::string> OpenedUrls::LocalPaths() const {
    std::vector<std::string> paths;
    for (const auto& url : urls) paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

void OpenedUrls::open(const QUrl& url) {
    urls.push_back(url);
}
