// The yardstick for start-up: a Qt Widgets program that shows one empty window.
#include <QApplication>
#include <QWidget>

#include "FirstPaint.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Empty");
    window.resize(792, 567);
    bench::ReportFirstPaint(window);
    window.show();
    return QApplication::exec();
}
