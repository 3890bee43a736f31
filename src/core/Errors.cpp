#include "core/Errors.h"

namespace core {

std::string Format(std::string_view pattern, std::string_view argument) {
    std::string out(pattern);
    for (const char* mark : {"%s", "%d"}) {
        if (auto at = out.find(mark); at != std::string::npos) {
            out.replace(at, 2, argument);
            return out;
        }
    }
    return out;
}

std::string Format(std::string_view pattern, long long argument) {
    return Format(pattern, std::to_string(argument));
}

}  // namespace core
