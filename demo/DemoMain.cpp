// corvalite-demo: writes the sample vendor site, installation and hive of a first run, signs
// the site and pins its key for a sandbox, and serves the site.
#include <unistd.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "demo/SampleData.h"
#include "demo/SampleSigning.h"
#include "demo/ServeSite.h"

namespace {

int Usage() {
    std::cerr << "usage: corvalite-demo site <dir>\n"
                 "       corvalite-demo sign <sitedir> <keydir>\n"
                 "       corvalite-demo trust <xdgdir> <keydir>\n"
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
    if (command == "sign" && args.size() == 3) {
        const demo::SampleSigner signer = demo::MakeSampleSigner(args[2]);
        const std::size_t count = demo::SignSampleSite(args[1], signer);
        std::cout << "Signed " << count << " files of " << args[1] << " with the key "
                  << signer.keySha256 << "\n";
        return 0;
    }
    if (command == "trust" && args.size() == 3) {
        const std::string list =
            demo::WriteTrustedPublishers(args[1], demo::LoadSampleSigner(args[2]));
        std::cout << "Trusted publishers: " << list << "\n";
        // The program ignores a list that its user could change; only root's lists count.
        if (geteuid() != 0)
            std::cerr << "corvalite-demo: the program trusts this list only once root owns it: "
                         "chown -R root:root "
                      << args[1] << "/corvalite-update\n";
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
