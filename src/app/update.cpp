// Program entry: with "--" arguments the unattended mode, which needs no display; otherwise
// builds the real services, creates the main window and runs the loop.
#include <QApplication>

#include "app/Unattended.h"
#include "download/QtDownloadEngine.h"
#include "download/ui/WidgetUi.h"
#include "gui/Services.h"
#include "gui/Unit1.h"
#include "toolkit/Application.h"

int main(int argc, char** argv) {
    if (const auto status = RunUnattended(argc, argv)) return *status;
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
