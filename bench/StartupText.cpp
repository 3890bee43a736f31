// Start-up context: the empty window of bench_startup_minimal with one line of text in it, so
// the first text pays for loading the font configuration and a font. No window that shows
// text can start faster than this.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include "FirstPaint.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Text");
    window.resize(792, 567);
    (new QLabel("Offline", &window))->setGeometry(0, 544, 100, 23);
    bench::ReportFirstPaint(window);
    window.show();
    return QApplication::exec();
}
