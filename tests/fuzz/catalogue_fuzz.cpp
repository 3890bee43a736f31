// Loads the five catalogue lists as a server might send them: the input, split at the
// record separator byte 0x1E, becomes the five files the engine delivers. Every list that
// loads comes out sorted, without duplicates ignoring case; nothing but the toolkit's own
// error ends a load.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/DownloadEngine.h"
#include "core/Errors.h"
#include "core/TextList.h"
#include "core/Unit1Catalogue.h"

namespace {

// Delivers one slice of the input into each queued destination.
class SliceEngine : public DownloadEngine {
  public:
    explicit SliceEngine(std::string_view input) : input_(input) {}
    int IsConnected() override { return 1; }
    int SetOption(const std::string&, const std::string&) override { return 1; }
    void ClearFiles() override {}
    int AddFile(const std::string&, const std::string& destination) override {
        const auto cut = input_.find('\x1e');
        std::ofstream(destination, std::ios::binary) << input_.substr(0, cut);
        input_ = cut == std::string_view::npos ? std::string_view() : input_.substr(cut + 1);
        return 1;
    }
    int DownloadFiles(OwnerWindow) override { return 1; }

  private:
    std::string_view input_;
};

bool sortedWithoutDuplicates(const core::TStringList& list) {
    for (std::size_t i = 1; i < list.Count(); ++i)
        if (core::CompareTextIgnoreCase(list[i - 1], list[i]) >= 0) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = [] {
        const auto path = std::filesystem::temp_directory_path() /
                          ("corvalite-catalogue-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path.string() + "/";
    }();
    SliceEngine engine(std::string_view(reinterpret_cast<const char*>(data), size));
    TCatalogue catalogue;
    try {
        FetchCatalogue(engine, {}, folder, "http://127.0.0.1", catalogue);
    } catch (const core::Error&) {
        return 0;  // a list too large is refused with the toolkit's error
    }
    for (const auto* list :
         {&catalogue.PHP, &catalogue.Debugger, &catalogue.Modules, &catalogue.Utils})
        if (!sortedWithoutDuplicates(*list)) std::abort();
    return 0;
}
