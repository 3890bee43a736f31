// Start-up context: the main window's widgets with plain Qt classes and none of the program's
// own work (no hive, settings, probes or services): four captioned buttons, the five-column
// tree with its header, three status texts, in the main window's font and geometry.
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include "FirstPaint.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Corvalite Product Update Assistant");
    QFont font("Tahoma");
    font.setPixelSize(13);
    window.setFont(font);
    window.resize(792, 567);
    const char* const captions[] = {"Update info", "Download", "Download and install", "Options"};
    const int lefts[] = {12, 140, 268, 432};
    const int widths[] = {125, 125, 161, 93};
    for (int i = 0; i < 4; ++i)
        (new QPushButton(captions[i], &window))->setGeometry(lefts[i], 12, widths[i], 27);
    auto* tree = new QTreeWidget(&window);
    tree->setGeometry(16, 48, 765, 483);
    tree->setHeaderLabels({"Component", "Location", "Version", "Build", "State"});
    const int columns[] = {164, 347, 63, 41, 144};
    for (int i = 0; i < 5; ++i) tree->header()->resizeSection(i, columns[i]);
    const char* const panels[] = {"Offline", "", ""};
    for (int i = 0; i < 3; ++i)
        (new QLabel(panels[i], &window))
            ->setGeometry(i == 0 ? 0 : 100 + (i - 1) * 250, 544, 100, 23);
    bench::ReportFirstPaint(window);
    window.show();
    return QApplication::exec();
}
