#include "gui/Unit2.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <limits>

#include "gui/upd_utils.h"
#include "toolkit/Application.h"
#include "toolkit/DesignedFont.h"

namespace {

constexpr int kResultOK = 1;
constexpr int kResultCancel = 2;

// A push button that marks its focus with a dotted frame inside, so a focused default button
// does not look like the default button alone.
class FocusMarkedButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPushButton::paintEvent(event);
        if (!hasFocus()) return;
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::ButtonText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(4, 4, -5, -5));
    }
};

template <class Control>
Control* Make(QWidget* parent, const char* name, const char* caption) {
    auto* control = new Control(QString::fromUtf8(caption), parent);
    control->setObjectName(QString::fromUtf8(name));
    return control;
}

QFont Tahoma(int pixelSize, bool bold) {
    QFont font = toolkit::DesignedFont(pixelSize);
    font.setBold(bold);
    return font;
}

// A label fits itself to its caption, as the designed one did in its own font; a stand-in
// font that runs wider must not cut the caption off.
void AutoSize(QLabel& label) {
    const QSize text = label.sizeHint();
    label.resize(std::max(label.width(), text.width()), std::max(label.height(), text.height()));
}

}  // namespace

TForm2::TForm2(gui::Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Options"));
    // A fixed dialog frame: a title and a close box, nothing to minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(Tahoma(13, false));
    CreateControls();
    toolkit::RunGuarded([this] { FormCreate(); });
}

void TForm2::CreateControls() {
    GroupBox1 = Make<QGroupBox>(this, "GroupBox1", "Update options");
    Label1 = Make<QLabel>(GroupBox1, "Label1", "Default download directory");
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(Label1->text());
    // Qt would cut a text at 32767 characters; a folder text is kept whole, however long.
    Edit1->setMaxLength(std::numeric_limits<int>::max());
    Label1->setBuddy(Edit1);
    Button1 = Make<FocusMarkedButton>(GroupBox1, "Button1", "...");
    Button1->setAccessibleName(QStringLiteral("Browse for the download directory"));
    Button1->setFont(Tahoma(17, true));
    CheckBox1 = Make<QCheckBox>(GroupBox1, "CheckBox1", "Always update info");
    Button2 = Make<FocusMarkedButton>(this, "Button2", "OK");
    Button2->setDefault(true);
    Button3 = Make<FocusMarkedButton>(this, "Button3", "Cancel");
    for (QWidget* control : {static_cast<QWidget*>(Button2), static_cast<QWidget*>(Button3),
                             static_cast<QWidget*>(CheckBox1)})
        control->setAccessibleName(control->property("text").toString());

    setTabOrder(Edit1, Button1);
    setTabOrder(Button1, CheckBox1);
    setTabOrder(CheckBox1, Button2);
    setTabOrder(Button2, Button3);
    Edit1->setFocus();

    toolkit::ConnectHandler(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, [this] { done(kResultOK); });
    connect(Button3, &QPushButton::clicked, this, [this] { done(kResultCancel); });
}

void TForm2::FormCreate() {
    // The designed pixel geometry, whatever the screen's density.
    setFixedSize(575, 215);
    GroupBox1->setGeometry(12, 8, 549, 157);
    Label1->setGeometry(16, 32, 153, 16);
    AutoSize(*Label1);
    Edit1->setGeometry(16, 56, 489, 24);
    Button1->setGeometry(512, 56, 25, 25);
    CheckBox1->setGeometry(16, 108, 385, 17);
    Button2->setGeometry(356, 176, 100, 29);
    Button3->setGeometry(460, 176, 100, 29);
}

void TForm2::Button1Click() {
    std::string folder = Edit1->text().toStdString();
    if (BrowseForFolder(shell_, this, "Download directory", QString(), folder, true, false, true))
        Edit1->setText(QString::fromStdString(folder));
}

void TForm2::reject() {
    done(kResultCancel);
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen();
}

void TForm2::CentreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize frame = frameGeometry().size();
    move(area.left() + (area.width() - frame.width()) / 2,
         area.top() + (area.height() - frame.height()) / 2);
}
