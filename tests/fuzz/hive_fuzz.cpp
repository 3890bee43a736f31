// Feeds arbitrary bytes to the hive file parser. Whatever it accepts must come back
// unchanged through writing and reading again, and text conversion must be lossless.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "platform/posix/RegistryHiveText.h"
#include "platform/posix/RegistryHiveUtf16.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace posix = platform::posix;
    const std::span bytes(data, size);
    if (posix::Utf16LeToUtf8(posix::Utf8ToUtf16Le(bytes)) !=
        std::vector<std::uint8_t>(bytes.begin(), bytes.end()))
        std::abort();

    const auto parsed =
        posix::ParseHiveText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed.ok) return 0;
    const auto written = posix::FormatHiveText(parsed.model);
    const auto again = posix::ParseHiveText(written);
    if (!again.ok || !(again.model == parsed.model)) std::abort();
    if (posix::FormatHiveText(again.model) != written) std::abort();
    return 0;
}
