// TMessageForm: the modal rules of the message dialog (keys, close box, help) and its placement.
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QWindow>

#include "gui/MessDlgs.h"
#include "gui/MessDlgsLayout.h"
#include "gui/MessDlgsSystem.h"

namespace {

// The frame the window manager puts around a top-level window. Before the dialog has been
// framed, the frame of another of our windows is the best guess: the manager decorates them alike.
QSize FrameSize(const QWidget& form) {
    const auto margins = [](const QWidget& w) {
        const QWindow* window = w.windowHandle();
        const QMargins m = window ? window->frameMargins() : QMargins();
        return QSize(m.left() + m.right(), m.top() + m.bottom());
    };
    if (const QSize own = margins(form); !own.isNull()) return own;
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other == &form || !other->isVisible()) continue;
        if (const QSize frame = margins(*other); !frame.isNull()) return frame;
    }
    return QSize(0, 0);  // not QSize(), which is -1 by -1
}

// Qt adds " — <application display name>" to every window title it hands to the window system;
// the dialog's caption must read exactly "Confirm", "Information", ... so the name is set aside
// while the native window takes its title. The signals would only announce a momentary change.
class DisplayNameSetAside {
  public:
    explicit DisplayNameSetAside(const QString& title)
        : name_(QGuiApplication::applicationDisplayName()), active_(!title.endsWith(name_)) {
        if (active_) SetQuietly(QString(""));
    }
    ~DisplayNameSetAside() {
        if (active_) SetQuietly(name_);
    }
    DisplayNameSetAside(const DisplayNameSetAside&) = delete;
    DisplayNameSetAside& operator=(const DisplayNameSetAside&) = delete;

  private:
    static void SetQuietly(const QString& name) {
        const QSignalBlocker quiet(qApp);
        QGuiApplication::setApplicationDisplayName(name);
    }

    const QString name_;
    const bool active_;
};

}  // namespace

TMessageForm::TMessageForm() {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(messdlgs::SystemMessageFont());
}

QRect TMessageForm::ScreenRect() {
    // Without any screen (a headless start gone wrong) still lay out sensibly.
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

void TMessageForm::PlaceAt(int left, int top) {
    requestedLeft_ = left;
    requestedTop_ = top;
    Centre();
}

void TMessageForm::Centre() {
    const QSize outer = size() + FrameSize(*this);
    const QRect screen = ScreenRect();
    const messdlgs::Point centre =
        messdlgs::CentreOnScreen(screen.width(), screen.height(), outer.width(), outer.height());
    move(screen.left() + messdlgs::PlaceEdge(centre.x, requestedLeft_),
         screen.top() + messdlgs::PlaceEdge(centre.y, requestedTop_));
}

void TMessageForm::HelpClick() {
    emit HelpRequested(helpContext_);
}

void TMessageForm::reject() {
    done(ModalResult::Cancel);
}

void TMessageForm::setVisible(bool visible) {
    if (visible && !testAttribute(Qt::WA_WState_Created)) {
        const DisplayNameSetAside setAside(windowTitle());
        create();
    }
    QDialog::setVisible(visible);
}

void TMessageForm::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            // QDialog would reject without a cancel button; this dialog then ignores Escape.
            if (cancelButton_) cancelButton_->click();
            event->accept();
            return;
        case Qt::Key_Enter:
        case Qt::Key_Return:
            // A focused button clicks itself; this is reached only from elsewhere, where the
            // default flag decides.
            for (QPushButton* button : findChildren<QPushButton*>()) {
                if (button->isDefault()) {
                    button->click();
                    break;
                }
            }
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void TMessageForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Centre();
}
