#include "gui/Services.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include "core/TextUtils.h"
#include "core/Unit1Settings.h"
#include "toolkit/Application.h"
#include "toolkit/Images.h"

ProgramServices::ProgramServices(Face face)
    : registry(platform::OpenUserHive()),
      desktop(platform::OpenSessionDesktop()),
      catalogueBase(CORVALITE_CATALOGUE_BASE),
      downloadBase(CORVALITE_DOWNLOAD_BASE) {
    QCoreApplication::setApplicationName("corvalite-update");
#ifdef _WIN32
    shell.quiet = face == Face::Console;
#endif
    if (face == Face::Window) {
        QApplication::setApplicationDisplayName(toolkit::kApplicationTitle);
        QApplication::setDesktopFileName("corvalite-update");
        QApplication::setWindowIcon(QIcon(toolkit::images::kProgram));
    }
    toolkit::RunGuarded([this] { ReadBaseAddress(*registry, "CatalogueBase", catalogueBase); });
    toolkit::RunGuarded([this] { ReadBaseAddress(*registry, "DownloadBase", downloadBase); });
}

Services ProgramServices::With(DownloadEngine& engine) {
    return {
        *registry,
        *desktop,
        shell,
        engine,
        catalogueBase,
        downloadBase,
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString() + PathDelim};
}
