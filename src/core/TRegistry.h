#pragma once
// The registry access object the units use: one open key of the current user's hive at a
// time, text and 32-bit number values, and the toolkit's German errors.
#include <cstdint>
#include <string>

#include "platform/Registry.h"

namespace core {

class TRegistry {
  public:
    explicit TRegistry(platform::RegistryHive& hive) : hive_(hive) {}
    ~TRegistry() { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Opens key (a path below HKEY_CURRENT_USER); creates it and its parents when
    // canCreate. False when it does not exist (or cannot be created).
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    bool ValueExists(const std::string& name) const;

    // REG_SZ or REG_EXPAND_SZ, raw, cut at the first zero; "" when absent or empty.
    // Raises ERegistryException "Ungültiger Datentyp für '%s'" for other types.
    std::string ReadString(const std::string& name) const;
    // REG_DWORD only. Raises "Konnte Daten für '%s' nicht holen" when absent or longer
    // than four bytes, "Ungültiger Datentyp für '%s'" for other types.
    std::int32_t ReadInteger(const std::string& name) const;
    // Raise "Konnte Daten für '%s' nicht setzen" when the hive cannot be written.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::int32_t value);

    const std::string& CurrentPath() const { return key_; }

  private:
    platform::RegistryHive& hive_;
    std::string key_;
    bool open_ = false;
};

}  // namespace core
