#include "support/MainWindowHarness.h"

#include <QTest>

#include <filesystem>
#include "support/RegistryValues.h"

MainWindowHarness::MainWindowHarness() {
    std::filesystem::create_directories(services.programFolder);
}

TForm1& MainWindowHarness::Create() {
    form = std::make_unique<TForm1>(services);
    return *form;
}

TForm1& MainWindowHarness::CreateAndShow() {
    Create();
    const int checks = engine.connectionChecks;
    form->show();
    // The first-showing check runs from the event loop once the window is up.
    [[maybe_unused]] const bool checked =
        QTest::qWaitFor([&] { return engine.connectionChecks > checks; }, 5000);
    QCoreApplication::processEvents();
    return *form;
}

void MainWindowHarness::SetString(const std::string& key, const std::string& name,
                                  const std::string& value, std::uint32_t type) {
    hive->CreateKey(key);
    hive->WriteValue(key, name, testsupport::Text(type, value));
}

void MainWindowHarness::SetDword(const std::string& key, const std::string& name,
                                 std::uint32_t value) {
    hive->CreateKey(key);
    hive->WriteValue(key, name, testsupport::Dword(value));
}

std::optional<platform::RegistryValue> MainWindowHarness::Read(const std::string& key,
                                                               const std::string& name) {
    return hive->ReadValue(key, name);
}

void MainWindowHarness::ServeCatalogue(const std::string& php, const std::string& debugger,
                                       const std::string& versions, const std::string& modules,
                                       const std::string& utils) {
    engine.files[catalogueBase + "/download/php/list.php"] = php;
    engine.files[catalogueBase + "/download/php/list_dbg.php"] = debugger;
    engine.files[catalogueBase + "/download/php/versions.php"] = versions;
    engine.files[catalogueBase + "/download/utils/list_mod.php"] = modules;
    engine.files[catalogueBase + "/download/utils/list_exe.php"] = utils;
}
