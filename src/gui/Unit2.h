#pragma once
// The options dialog: the download folder and the "Always update info" switch.
#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace gui {
class Shell;
}

class TForm2 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm2(gui::Shell& shell, QWidget* parent = nullptr);

    // Controls, named as the dialog's design names them.
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;  // "..."
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button2 = nullptr;  // "OK", modal result 1
    QPushButton* Button3 = nullptr;  // "Cancel", modal result 2

    void Button1Click();
    void FormCreate();

    // Esc and the close box answer as "Cancel" does.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void CreateControls();
    void CentreOnScreen();

    gui::Shell& shell_;
};
