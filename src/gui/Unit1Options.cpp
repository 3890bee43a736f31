// The "Options" command of the main window.
#include <QCheckBox>
#include <QLineEdit>

#include "gui/Unit1.h"
#include "gui/Unit2.h"

void TForm1::Button4Click() {
    // Owned here, so it is gone on every way out; unparented, like a dialog of the
    // application object, so closing the main window meanwhile cannot delete it twice.
    TForm2 form(services_.shell);
    const QString shown = QString::fromStdString(DownloadDir);
    form.Edit1->setText(shown);
    form.CheckBox1->setChecked(AutoUpdate);
    if (form.exec() != 1) return;
    // An untouched field keeps the stored bytes, even those that are not valid UTF-8.
    if (form.Edit1->text() != shown) DownloadDir = form.Edit1->text().toStdString();
    AutoUpdate = form.CheckBox1->isChecked();
}
