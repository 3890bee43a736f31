#include "download/ui/ProxyLoginDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace download {

ProxyLoginDialog::ProxyLoginDialog(QWidget* owner, const QNetworkProxy& proxy, bool refused,
                                   const QString& user)
    : QDialog(owner) {
    setObjectName("ProxyLoginDialog");
    setWindowTitle(tr("Proxy login"));
    const QString question =
        refused ? tr("The proxy %1:%2 did not accept this user name and password. Try again.")
                : tr("The proxy %1:%2 asks for a user name and password.");
    auto* text = new QLabel(question.arg(proxy.hostName()).arg(proxy.port()), this);
    text->setObjectName("QuestionLabel");
    text->setWordWrap(true);
    user_ = new QLineEdit(user, this);
    user_->setObjectName("UserEdit");
    password_ = new QLineEdit(this);
    password_->setObjectName("PasswordEdit");
    password_->setEchoMode(QLineEdit::Password);
    // A user name is known already; the password is what to type.
    if (!user.isEmpty()) password_->setFocus();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(tr("User name:"), user_);
    form->addRow(tr("Password:"), password_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QString ProxyLoginDialog::user() const {
    return user_->text();
}
QString ProxyLoginDialog::password() const {
    return password_->text();
}

void ProxyLoginDialog::ask(QWidget* owner, const QNetworkProxy& proxy, bool refused,
                           const QString& user,
                           std::function<void(std::optional<ProxyCredentials>)> answered) {
    // No exec(): the engine waits for the answer in a loop of its own, which the other
    // requests meeting the proxy meanwhile join.
    auto* dialog = new ProxyLoginDialog(owner, proxy, refused, user);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    connect(dialog, &QDialog::finished, dialog,
            [dialog, answered = std::move(answered)](int result) {
                if (result == QDialog::Accepted)
                    answered(ProxyCredentials{dialog->user(), dialog->password()});
                else
                    answered(std::nullopt);
            });
    dialog->show();
}

}  // namespace download
