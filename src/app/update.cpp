// Program entry: builds the real services, creates the main window, runs the loop.
#include <QApplication>

#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"
#include "gui/Services.h"
#include "gui/Unit1.h"
#include "toolkit/Application.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ProgramServices program;
    QtDownloadEngine::Options options;
    options.ui = download::WidgetUi();
    QtDownloadEngine engine(program.catalogueBase, std::move(options));
    Services services = program.With(engine);

    TForm1 window(services);
    toolkit::CloseOnTerminationSignals(&window);
    window.show();
    return QApplication::exec();
}
