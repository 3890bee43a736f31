#pragma once
// Everything the main window reaches outside itself, built once by update.cpp and by the
// tests from temporary hives and folders, scripted engines and fake desktops.
#include <string>

#include "download/DownloadEngine.h"
#include "platform/Desktop.h"
#include "platform/Registry.h"
#include "toolkit/Shell.h"

struct Services {
    platform::RegistryHive& registry;
    platform::Desktop& desktop;
    toolkit::Shell& shell;
    DownloadEngine& engine;
    std::string catalogueBase;  // catalogue scripts live below it
    std::string downloadBase;   // component files live below it
    std::string programFolder;  // the executable's folder, with its trailing delimiter
};
