#pragma once
// The small dialog that asks for a proxy's user name and password.
#include <QDialog>
#include <QNetworkProxy>
#include <functional>
#include <optional>

#include "download/EngineUi.h"

class QLineEdit;

namespace download {

class ProxyLoginDialog : public QDialog {
    Q_OBJECT
  public:
    // `refused`: the proxy turned down the last user name and password.
    ProxyLoginDialog(QWidget* owner, const QNetworkProxy& proxy, bool refused, const QString& user);
    QString user() const;
    QString password() const;

    // Opens the dialog modally, starting from `user`, and returns; `answered` gets what was
    // typed, or nullopt when the person declines.
    static void ask(QWidget* owner, const QNetworkProxy& proxy, bool refused, const QString& user,
                    std::function<void(std::optional<ProxyCredentials>)> answered);

  private:
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
};

}  // namespace download
