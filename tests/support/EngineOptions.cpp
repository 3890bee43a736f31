#include "support/EngineOptions.h"

namespace testsupport {

QtDownloadEngine::Options EngineOptions(ShownFailures& shown) {
    QtDownloadEngine::Options options;
    options.proxyEnvironment = download::ProxyEnvironment{};
    options.ui = download::WidgetUi();
    options.ui.showFailures = [&shown](OwnerWindow, const QString& title, const QString& text) {
        ++shown.count;
        shown.title = title;
        shown.text = text;
    };
    return options;
}

}  // namespace testsupport
