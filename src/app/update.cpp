// Program entry: builds the real services, creates the main window, runs the loop.
#include <QApplication>

#include "download/QtDownloadEngine.h"
#include "gui/Services.h"
#include "gui/Unit1.h"
#include "toolkit/Application.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ProgramServices program;
    QtDownloadEngine engine(program.catalogueBase);
    Services services = program.With(engine);

    TForm1 window(services);
    toolkit::CloseOnTerminationSignals(&window);
    window.show();
    return QApplication::exec();
}
