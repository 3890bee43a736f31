#pragma once
// Builds the main window as update.cpp does, from test doubles: a temporary program folder
// and hive, a scripted engine, a fake desktop and a recording shell.
#include <memory>
#include <string>

#include "gui/Services.h"
#include "gui/Unit1.h"
#include "platform/Registry.h"
#include "support/FakeDesktop.h"
#include "support/RecordingShell.h"
#include "support/ScriptedEngine.h"
#include "support/TempDir.h"

struct MainWindowHarness {
    TempDir dir;  // program folder and hive live here
    std::string hivePath = dir.path() + "/HKCU.reg";
    std::unique_ptr<platform::RegistryHive> hive = platform::OpenHiveFile(hivePath);
    FakeDesktop desktop;
    RecordingShell shell;
    ScriptedEngine engine;
    std::string catalogueBase = "http://catalogue.test";
    std::string downloadBase = "http://files.test";
    Services services{
        *hive, desktop, shell, engine, catalogueBase, downloadBase, dir.folder() + "app/"};
    std::unique_ptr<TForm1> form;

    MainWindowHarness();
    TForm1& Create();         // creates the window (runs its creation sequence)
    TForm1& CreateAndShow();  // ... and shows it, waiting for the first-showing check
    void Destroy() { form.reset(); }

    // Registry helpers for arranging a test.
    void SetString(const std::string& key, const std::string& name, const std::string& value,
                   std::uint32_t type = platform::kRegSz);
    void SetDword(const std::string& key, const std::string& name, std::uint32_t value);
    std::optional<platform::RegistryValue> Read(const std::string& key, const std::string& name);

    // Serves a catalogue through the scripted engine: lists are newline-joined entries.
    void ServeCatalogue(const std::string& php, const std::string& debugger,
                        const std::string& versions, const std::string& modules,
                        const std::string& utils);
};
