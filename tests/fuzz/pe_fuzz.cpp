// Feeds arbitrary bytes to the PE version record reader and to the root block query.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/VersionInfo.h"
#include "platform/posix/PeVersionResource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const platform::MemorySource image(data, size);
    const void* block = nullptr;
    std::uint32_t length = 0;
    if (const auto record = platform::ReadVersionResource(image)) {
        // Whatever the reader accepts must be a record the query can use.
        if (!platform::QueryVersionRecord(record->data(), record->size(), "\\", &block, &length) ||
            length != platform::kVsFixedFileInfoSize)
            std::abort();
        if (platform::ReadFixedFileInfo(block).dwSignature != platform::kVsFixedFileInfoSignature)
            std::abort();
    }
    // The input as a bare VS_VERSIONINFO block.
    if (platform::QueryVersionRecord(data, size, "\\", &block, &length))
        (void)platform::ReadFixedFileInfo(block);
    return 0;
}
