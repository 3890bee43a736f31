// Any bytes as a machine's list of trusted publishers, in the file form and in the registry
// and build form: whatever is taken is a well-formed hash, and reads the same once more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MachineTrust.h"

namespace {

void RequireHashes(const std::vector<std::string>& hashes) {
    for (const auto& hash : hashes) {
        if (hash.size() != 64) std::abort();
        for (const char c : hash)
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) std::abort();
        if (platform::NormalisedKeyHash(hash) != hash) std::abort();
    }
}

std::string Joined(const std::vector<std::string>& hashes, char separator) {
    std::string text;
    for (const auto& hash : hashes) text += hash + separator;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto lines = platform::KeyHashesFromLines(input);
    const auto list = platform::KeyHashesFromList(input);
    RequireHashes(lines);
    RequireHashes(list);
    if (platform::KeyHashesFromLines(Joined(lines, '\n')) != lines) std::abort();
    if (platform::KeyHashesFromList(Joined(list, ';')) != list) std::abort();
    return 0;
}
