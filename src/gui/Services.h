#pragma once
// Everything the main window reaches outside itself, built once by update.cpp and by the
// tests from temporary hives and folders, scripted engines and fake desktops.
#include <string>

#include "core/DownloadEngine.h"
#include "gui/Shell.h"
#include "platform/Desktop.h"
#include "platform/Registry.h"

struct Services {
    platform::RegistryHive& registry;
    platform::Desktop& desktop;
    gui::Shell& shell;
    DownloadEngine& engine;
    std::string catalogueBase;  // catalogue scripts live below it
    std::string downloadBase;   // component files live below it
    std::string programFolder;  // the executable's folder, with its trailing delimiter
};

#include <memory>

#ifdef _WIN32
#include "gui/WindowsShell.h"
#else
#include "gui/DesktopShell.h"
#endif

// The program's real outside world as it starts: the application's identity, the user's
// hive with the base addresses it may replace, the desktop and the shell. The engine is
// the caller's choice.
class ProgramServices {
  public:
    // After the application object exists. Without a window (the unattended mode, under a
    // QCoreApplication) the program has no display name, desktop entry or icon to set.
    enum class Face { Window, Console };
    explicit ProgramServices(Face face = Face::Window);
    Services With(DownloadEngine& engine);

    std::unique_ptr<platform::RegistryHive> registry;
    std::unique_ptr<platform::Desktop> desktop;
#ifdef _WIN32
    gui::WindowsShell shell;
#else
    gui::DesktopShell shell;
#endif
    std::string catalogueBase;
    std::string downloadBase;
};
