#include "gui/MessDlgs.h"
#include "gui/MessDlgsSystem.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <utility>

#include "gui/MessDlgsLayout.h"

namespace {

MessageDialogHook& ActiveHook() {
    static MessageDialogHook hook;
    return hook;
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

messdlgs::LayoutRequest Measure(const QFont& font, const QString& message, DialogType type,
                                DialogButtons buttons) {
    const QFontMetrics metrics(font);
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int wrapWidth = TMessageForm::ScreenRect().width() / 2;
    // Qt wraps at word boundaries only, so one word wider than wrapWidth widens the block.
    const QRect text = metrics.boundingRect(QRect(0, 0, wrapWidth, 0), Qt::TextWordWrap, message);
    return messdlgs::LayoutRequest{
        .charWidth = metrics.horizontalAdvance(kLetters) / 52,
        .charHeight = metrics.height(),
        .textWidth = text.right() + 1,
        .textHeight = text.bottom() + 1,
        .hasIcon = HasIcon(type),
        .buttonCount = CountButtons(buttons),
    };
}

QString WindowCaption(DialogType type, DialogLanguage language) {
    if (!HasIcon(type)) return QApplication::applicationDisplayName();
    return Text(DialogCaption(type, language));
}

void AddIcon(TMessageForm& form, DialogType type, const messdlgs::Rect& r) {
    auto* image = new QLabel(&form);
    image->setObjectName(QStringLiteral("Image"));
    image->setAccessibleName(form.windowTitle());
    image->setPixmap(messdlgs::SystemMessageIcon(type, form, r.width));
    image->setGeometry(r.left, r.top, r.width, r.height);
}

void AddMessage(TMessageForm& form, const QString& message, const messdlgs::Rect& r) {
    auto* label = new QLabel(&form);
    label->setObjectName(QStringLiteral("Message"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(message);
    label->setAccessibleName(message);
    label->setGeometry(r.left, r.top, r.width, r.height);
}

DialogButton DefaultKind(DialogButtons buttons) {
    if (buttons & mbOK) return DialogButton::OK;
    if (buttons & mbYes) return DialogButton::Yes;
    return DialogButton::Retry;
}

DialogButton CancelKind(DialogButtons buttons) {
    if (buttons & mbCancel) return DialogButton::Cancel;
    if (buttons & mbNo) return DialogButton::No;
    return DialogButton::OK;
}

QPushButton* AddButton(TMessageForm& form, DialogButton kind, DialogLanguage language,
                       const messdlgs::Rect& r) {
    auto* button = new QPushButton(Text(ButtonCaption(kind, language)), &form);
    button->setObjectName(Text(ButtonName(kind)));
    button->setAccessibleName(button->text());
    button->setGeometry(r.left, r.top, r.width, r.height);
    const int result = ButtonModalResult(kind);
    QObject::connect(button, &QPushButton::clicked, &form, [&form, result] {
        if (result != ModalResult::None) form.done(result);
    });
    if (kind == DialogButton::Help)
        QObject::connect(button, &QPushButton::clicked, &form, &TMessageForm::HelpClick);
    return button;
}

void AddButtons(TMessageForm& form, DialogButtons buttons, DialogLanguage language,
                const std::vector<messdlgs::Rect>& rects) {
    const DialogButton defaultKind = DefaultKind(buttons);
    const DialogButton cancelKind = CancelKind(buttons);
    auto rect = rects.begin();
    bool first = true;
    for (int bit = 0; bit < kDialogButtonKinds; ++bit) {
        const auto kind = static_cast<DialogButton>(bit);
        if (!(buttons & ButtonBit(kind))) continue;
        QPushButton* button = AddButton(form, kind, language, *rect++);
        button->setDefault(kind == defaultKind);
        if (kind == cancelKind) form.SetCancelButton(button);
        // The first control in tab order has the focus when the dialog opens.
        if (std::exchange(first, false)) button->setFocus();
    }
}

}  // namespace

std::unique_ptr<TMessageForm> CreateMessageDialog(const std::string& message, DialogType type,
                                                  DialogButtons buttons, DialogLanguage language) {
    auto form = std::make_unique<TMessageForm>();
    const QString text = QString::fromStdString(message);
    const messdlgs::DialogGeometry g =
        messdlgs::LayOutMessageDialog(Measure(form->font(), text, type, buttons));
    form->setFixedSize(g.clientWidth, g.clientHeight);
    form->setWindowTitle(WindowCaption(type, language));
    if (g.icon) AddIcon(*form, type, *g.icon);
    AddMessage(*form, text, g.message);
    AddButtons(*form, buttons, language, g.buttons);
    form->PlaceAt(-1, -1);
    return form;
}

int MessageDialogPos(const std::string& message, DialogType type, DialogButtons buttons,
                     int helpContext, int left, int top, DialogLanguage language) {
    if (const MessageDialogHook& hook = ActiveHook())
        return hook(MessageDialogRequest{message, type, buttons, helpContext, left, top, language});
    const std::unique_ptr<TMessageForm> form =
        CreateMessageDialog(message, type, buttons, language);
    form->SetHelpContext(helpContext);
    form->PlaceAt(left, top);
    return form->exec();
}

int MessageDialog(const std::string& message, DialogType type, DialogButtons buttons,
                  int helpContext, DialogLanguage language) {
    return MessageDialogPos(message, type, buttons, helpContext, -1, -1, language);
}

ScopedMessageDialogHook::ScopedMessageDialogHook(MessageDialogHook hook)
    : previous_(std::exchange(ActiveHook(), std::move(hook))) {}

ScopedMessageDialogHook::~ScopedMessageDialogHook() {
    ActiveHook() = std::move(previous_);
}
