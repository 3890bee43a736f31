#pragma once
// The program's one message box: built at run time from a label, an optional icon and a row of
// push buttons, with captions in nine languages, sized to the message in the message font.
//
//   int r = MessageDialog("Delete it?", mtConfirmation, mbYes | mbNo, 0, 9);
//   if (r == ModalResult::No) return;
//
// Tests of code that asks questions install an answer instead of a modal loop:
//
//   std::vector<MessageDialogRequest> asked;
//   ScopedMessageDialogHook hook([&](const MessageDialogRequest& r) {
//       asked.push_back(r);
//       return ModalResult::Yes;
//   });
//   ... code under test calls MessageDialog; asked[0].message, .type, .buttons tell what ...
#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QPushButton;

enum class DialogType : std::uint8_t { Warning, Error, Information, Confirmation, Custom };

// The bit number of each kind in a DialogButtons set; also the left-to-right order.
enum class DialogButton : std::uint8_t {
    Yes,
    No,
    OK,
    Cancel,
    Abort,
    Retry,
    Ignore,
    All,
    NoToAll,
    YesToAll,
    Help
};
inline constexpr int kDialogButtonKinds = 11;

// Bit k shows the button of kind k; bits 11 to 15 are ignored.
using DialogButtons = std::uint16_t;
// 1 Russian, 2 Portuguese, 3 Turkish, 4 German, 5 Dutch, 6 French, 7 Greek, 8 Spanish,
// 9 English, 10 English with "Disconnect" for Abort; anything else English.
using DialogLanguage = std::uint8_t;
// The language of every question and notice of the program's own.
inline constexpr DialogLanguage kEnglish = 9;

inline constexpr DialogType mtWarning = DialogType::Warning;
inline constexpr DialogType mtError = DialogType::Error;
inline constexpr DialogType mtInformation = DialogType::Information;
inline constexpr DialogType mtConfirmation = DialogType::Confirmation;
inline constexpr DialogType mtCustom = DialogType::Custom;

constexpr DialogButtons ButtonBit(DialogButton kind) {
    return static_cast<DialogButtons>(1u << static_cast<unsigned>(kind));
}
// One-button sets, combined with |: mbYes | mbNo is the question's set (3).
inline constexpr DialogButtons mbYes = ButtonBit(DialogButton::Yes);
inline constexpr DialogButtons mbNo = ButtonBit(DialogButton::No);
inline constexpr DialogButtons mbOK = ButtonBit(DialogButton::OK);
inline constexpr DialogButtons mbCancel = ButtonBit(DialogButton::Cancel);
inline constexpr DialogButtons mbAbort = ButtonBit(DialogButton::Abort);
inline constexpr DialogButtons mbRetry = ButtonBit(DialogButton::Retry);
inline constexpr DialogButtons mbIgnore = ButtonBit(DialogButton::Ignore);
inline constexpr DialogButtons mbAll = ButtonBit(DialogButton::All);
inline constexpr DialogButtons mbNoToAll = ButtonBit(DialogButton::NoToAll);
inline constexpr DialogButtons mbYesToAll = ButtonBit(DialogButton::YesToAll);
inline constexpr DialogButtons mbHelp = ButtonBit(DialogButton::Help);
inline constexpr DialogButtons mbYesNo = mbYes | mbNo;

// What MessageDialog returns; 2 also when the window is closed without a button.
namespace ModalResult {
inline constexpr int None = 0;
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
inline constexpr int All = 8;
inline constexpr int NoToAll = 9;
inline constexpr int YesToAll = 10;
}  // namespace ModalResult

// The constant tables (UTF-8). Types beyond Custom count as Custom.
std::string_view DialogCaption(DialogType type, DialogLanguage language);  // empty for Custom
std::string_view ButtonCaption(DialogButton kind, DialogLanguage language);
std::string_view ButtonName(DialogButton kind);  // the control's component name
int ButtonModalResult(DialogButton kind);
bool HasIcon(DialogType type);
int CountButtons(DialogButtons buttons);

class TMessageForm : public QDialog {
    Q_OBJECT
  public:
    TMessageForm();

    static QRect ScreenRect();  // the primary screen, where the dialog is measured and centred

    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int context) { helpContext_ = context; }
    // Negative keeps the centred coordinate of that edge.
    void PlaceAt(int left, int top);

    // The button that Escape clicks; none means Escape does nothing.
    QPushButton* CancelButton() const { return cancelButton_; }
    void SetCancelButton(QPushButton* button) { cancelButton_ = button; }

    // The Help button's click: shows the topic HelpContext() in the help system, of which there
    // is none yet, so it only announces the request. The dialog stays open.
    void HelpClick();

    void reject() override;  // close box, Alt+F4: result 2
    void setVisible(bool visible) override;

  signals:
    void HelpRequested(int helpContext);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void Centre();

    int helpContext_ = 0;
    int requestedLeft_ = -1;
    int requestedTop_ = -1;
    QPushButton* cancelButton_ = nullptr;
};

// Builds the form unshown, centred on the primary screen; the caller owns it.
std::unique_ptr<TMessageForm> CreateMessageDialog(const std::string& message, DialogType type,
                                                  DialogButtons buttons, DialogLanguage language);

// Shows the dialog modally and returns the pressed button's modal result. left/top of 0 or more
// move that edge of the window there; negative keeps it centred.
int MessageDialogPos(const std::string& message, DialogType type, DialogButtons buttons,
                     int helpContext, int left, int top, DialogLanguage language);

int MessageDialog(const std::string& message, DialogType type, DialogButtons buttons,
                  int helpContext, DialogLanguage language);

// --- Test seam -----------------------------------------------------------------------------
struct MessageDialogRequest {
    std::string message;
    DialogType type;
    DialogButtons buttons;
    int helpContext;
    int left;
    int top;
    DialogLanguage language;
};
using MessageDialogHook = std::function<int(const MessageDialogRequest&)>;

// While alive, every MessageDialog/MessageDialogPos call goes to the hook instead of showing a
// window, and returns what the hook returns. Guards nest; the previous hook comes back.
class ScopedMessageDialogHook {
  public:
    explicit ScopedMessageDialogHook(MessageDialogHook hook);
    ~ScopedMessageDialogHook();
    ScopedMessageDialogHook(const ScopedMessageDialogHook&) = delete;
    ScopedMessageDialogHook& operator=(const ScopedMessageDialogHook&) = delete;

  private:
    MessageDialogHook previous_;
};
