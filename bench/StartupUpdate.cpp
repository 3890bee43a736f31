// The program's start-up as update.cpp wires it (same application set-up, hive, base
// addresses, desktop, shell and main window), with an engine that is offline so the first
// showing asks no server; it leaves as soon as the main window has painted.
#include <QApplication>

#include "FirstPaint.h"
#include "gui/Services.h"
#include "gui/Unit1.h"
#include "support/OfflineEngine.h"
#include "toolkit/Application.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ProgramServices program;
    OfflineEngine engine;
    Services services = program.With(engine);

    TForm1 window(services);
    toolkit::CloseOnTerminationSignals(&window);
    bench::ReportFirstPaint(window);
    window.show();
    return QApplication::exec();
}
