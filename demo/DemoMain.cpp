// corvalite-demo: writes the sample vendor site, installation and hive of a first run, and
// serves the site.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "demo/SampleData.h"
#include "demo/ServeSite.h"

namespace {

int Usage() {
    std::cerr << "usage: corvalite-demo site <dir>\n"
                 "       corvalite-demo install <dir>\n"
                 "       corvalite-demo hive <hivefile> <installdir> <baseurl>\n"
                 "       corvalite-demo serve <sitedir> [--port-file F]\n";
    return 2;
}

int Run(const std::vector<std::string>& args) {
    const std::string command = args.empty() ? "" : args[0];
    if (command == "site" && args.size() == 2) {
        demo::WriteSampleSite(args[1]);
        return 0;
    }
    if (command == "install" && args.size() == 2) {
        demo::WriteSampleInstallation(args[1]);
        return 0;
    }
    if (command == "hive" && args.size() == 4) {
        demo::WriteSampleHive(args[1], args[2], args[3]);
        return 0;
    }
    if (command == "serve" && args.size() == 2) return demo::ServeSite(args[1], "");
    if (command == "serve" && args.size() == 4 && args[2] == "--port-file")
        return demo::ServeSite(args[1], args[3]);
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "corvalite-demo: " << error.what() << "\n";
        return 1;
    }
}
