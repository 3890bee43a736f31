// Feeds a kept file's index, which lies in the user's folder, to its reader: whatever it
// accepts comes back the same through a write and a second read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/ReplacedFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto kept = ParseKeptIndex(text);
    if (!kept) return 0;
    const auto again = ParseKeptIndex(FormatKeptIndex(*kept));
    if (!again || again->target != kept->target || again->version != kept->version ||
        again->replacedAt != kept->replacedAt || again->size != kept->size)
        std::abort();
    return 0;
}
