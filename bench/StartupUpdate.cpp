// The program's start-up as update.cpp wires it (same application set-up, hive, base
// addresses, desktop, shell and main window), with an engine that is offline so the first
// showing asks no server; it leaves as soon as the main window has painted.
#include <QApplication>
#include <QIcon>
#include <memory>
#include <string>

#include "FirstPaint.h"
#include "Services.h"
#include "Unit1.h"
#include "Unit1Settings.h"
#include "download/OfflineEngine.h"
#include "platform/Desktop.h"
#include "platform/Registry.h"
#include "toolkit/Application.h"
#include "toolkit/DesktopShell.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("corvalite-update");
    QApplication::setApplicationDisplayName(toolkit::kApplicationTitle);
    QApplication::setDesktopFileName("corvalite-update");
    QApplication::setWindowIcon(QIcon(":/corvalite/corvalite-update.svg"));

    auto registry = platform::OpenUserHive();
    std::string catalogueBase = CORVALITE_CATALOGUE_BASE;
    std::string downloadBase = CORVALITE_DOWNLOAD_BASE;
    toolkit::RunGuarded([&] { ReadBaseAddresses(*registry, catalogueBase, downloadBase); });

    auto desktop = platform::OpenDesktop();
    toolkit::DesktopShell shell;
    OfflineEngine engine;
    Services services{*registry,     *desktop,     shell,
                      engine,        catalogueBase, downloadBase,
                      QApplication::applicationDirPath().toStdString() + "/"};

    TForm1 window(services);
    toolkit::CloseOnTerminationSignals(&window);
    bench::ReportFirstPaint(window);
    window.show();
    return QApplication::exec();
}
