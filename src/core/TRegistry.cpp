#include "core/TRegistry.h"

#include <algorithm>

#include "core/Errors.h"

namespace core {

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    CloseKey();
    if (!(canCreate ? hive_.CreateKey(key) : hive_.KeyExists(key))) return false;
    key_ = key;
    open_ = true;
    return true;
}

void TRegistry::CloseKey() {
    key_.clear();
    open_ = false;
}

bool TRegistry::ValueExists(const std::string& name) const {
    return open_ && hive_.ReadValue(key_, name).has_value();
}

std::string TRegistry::ReadString(const std::string& name) const {
    const auto value = open_ ? hive_.ReadValue(key_, name) : std::nullopt;
    // Like the toolkit: a value without data reads as "" whatever its type.
    if (!value || value->data.empty()) return {};
    if (value->type != platform::kRegSz && value->type != platform::kRegExpandSz)
        throw ERegistryException(Format(kInvalidRegType, name));
    const auto& data = value->data;
    const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
    return std::string(data.begin(), end);
}

std::int32_t TRegistry::ReadInteger(const std::string& name) const {
    const auto value = open_ ? hive_.ReadValue(key_, name) : std::nullopt;
    // The size is checked before the type: more than four bytes do not fit the buffer.
    if (!value || value->data.size() > sizeof(std::int32_t))
        throw ERegistryException(Format(kRegGetDataFailed, name));
    if (value->type != platform::kRegDword) throw ERegistryException(Format(kInvalidRegType, name));
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < value->data.size(); ++i)
        bits |= static_cast<std::uint32_t>(value->data[i]) << (8 * i);
    return static_cast<std::int32_t>(bits);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!open_ || !hive_.WriteValue(key_, name, platform::TextValue(value)))
        throw ERegistryException(Format(kRegSetDataFailed, name));
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    if (!open_ ||
        !hive_.WriteValue(key_, name, platform::DwordValue(static_cast<std::uint32_t>(value))))
        throw ERegistryException(Format(kRegSetDataFailed, name));
}

}  // namespace core
