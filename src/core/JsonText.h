#pragma once
// Texts written into JSON. They come from the catalogue and the disk, so anything may be in
// them: control characters are escaped, and bytes that are no UTF-8 become U+FFFD, so the
// output is always valid UTF-8 JSON.
#include <string>
#include <string_view>

// The text as a JSON string, quotes included.
std::string JsonQuoted(std::string_view text);
