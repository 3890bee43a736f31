#include "download/ui/WidgetUi.h"

#include <QMessageBox>

#include "download/ui/ProgressWindow.h"
#include "download/ui/ProxyLoginDialog.h"

namespace download {

EngineUi WidgetUi(Clock* windowClock) {
    EngineUi ui;
    ui.showProgress = [windowClock](OwnerWindow owner, const QString& caption,
                                    std::function<void()> cancel) {
        auto window = std::make_unique<ProgressWindow>(WidgetOf(owner), caption, windowClock);
        QObject::connect(window.get(), &ProgressWindow::cancelRequested, window.get(),
                         std::move(cancel));
        window->show();
        return std::unique_ptr<RunProgress>(std::move(window));
    };
    ui.showFailures = [](OwnerWindow owner, const QString& title, const QString& text) {
        QMessageBox::warning(WidgetOf(owner), title, text);
    };
    ui.askProxyCredentials = [](OwnerWindow owner, const QNetworkProxy& proxy, bool refused,
                                const QString& user,
                                std::function<void(std::optional<ProxyCredentials>)> answered) {
        ProxyLoginDialog::ask(WidgetOf(owner), proxy, refused, user, std::move(answered));
    };
    return ui;
}

}  // namespace download
