// Feeds two version texts (split at the first line feed) to the comparison and checks
// that it behaves as an ordering: never both ways, never a text against itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/TextList.h"
#include "core/TextUtils.h"
#include "core/Unit1Inventory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto cut = input.find('\n');
    const std::string_view local = input.substr(0, cut);
    const std::string_view remote = cut == std::string_view::npos ? "" : input.substr(cut + 1);
    if (IsNewerVersion(local, local) || IsNewerVersion(remote, remote)) std::abort();
    if (IsNewerVersion(local, remote) && IsNewerVersion(remote, local)) std::abort();
    const std::string commas = ReplaceAll(local, ".", ",");
    if (commas.size() != local.size() || commas.find('.') != std::string::npos) std::abort();
    for (const auto& part : core::SplitCommaText(commas)) (void)StrToIntDef(part, 0);
    return 0;
}
