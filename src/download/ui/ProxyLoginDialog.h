#pragma once
// The small dialog that asks for a proxy's user name and password.
#include <QDialog>
#include <QNetworkProxy>

class QLineEdit;

namespace download {

class ProxyLoginDialog : public QDialog {
    Q_OBJECT
  public:
    // `refused`: the proxy turned down the last user name and password.
    ProxyLoginDialog(QWidget* owner, const QNetworkProxy& proxy, bool refused, const QString& user);
    QString user() const;
    QString password() const;

    // Shows the dialog modally, starting from `user`; false when the user declines.
    static bool ask(QWidget* owner, const QNetworkProxy& proxy, bool refused, QString& user,
                    QString& password);

  private:
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
};

}  // namespace download
