#pragma once
// The hive file's contents in memory: keys in file order, each with its values in file
// order. Names compare ignoring ASCII case and keep the case they were first given.
// Every operation stays cheap however many keys and values a (hostile) file holds.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace platform::posix {

inline constexpr std::string_view kUserRoot = "HKEY_CURRENT_USER";

class HiveKey {
  public:
    explicit HiveKey(std::string path) : path_(std::move(path)) {}

    // Full path with its root, e.g. "HKEY_CURRENT_USER\Software".
    const std::string& Path() const { return path_; }
    const RegistryValue* Find(std::string_view name) const;
    // True when the stored data changed.
    bool Set(std::string_view name, const RegistryValue& value);
    void Remove(std::string_view name);
    // Name and value of every value present, in file order.
    std::vector<std::pair<const std::string*, const RegistryValue*>> Values() const;

  private:
    using Slot = std::optional<std::pair<std::string, RegistryValue>>;  // empty once removed
    std::string path_;
    std::vector<Slot> slots_;
    std::unordered_map<std::string, std::size_t> index_;  // folded name -> slot
};

class HiveModel {
  public:
    // Keys in file order.
    std::vector<const HiveKey*> Keys() const;
    // The key as stored; null for a key that only exists as a parent of stored keys.
    const HiveKey* Find(std::string_view fullPath) const;
    // Stored, or a parent of a stored key: a parent exists while anything below it does,
    // so parents need no entries of their own (which keeps deep paths cheap).
    bool Exists(std::string_view fullPath) const;
    HiveKey& Create(std::string_view fullPath);
    // Removes the key and everything below it.
    void Remove(std::string_view fullPath);

    bool operator==(const HiveModel& other) const;

  private:
    struct Entry {
        std::uint64_t order;
        HiveKey key;
    };
    // Folded paths sort a key's descendants right behind it, so removing a subtree is a
    // range erase.
    std::map<std::string, Entry> keys_;
    std::uint64_t next_ = 0;
};

std::string FoldCase(std::string_view text);
bool SameName(std::string_view a, std::string_view b);

// "\Software\X" or "Software\X\" -> "HKEY_CURRENT_USER\Software\X"; "" or "\" -> the root.
// Empty when the path cannot name a key (empty components, line breaks, NUL).
std::string UserKeyPath(std::string_view key);
// A value name that the text format can hold.
bool IsStorableName(std::string_view name);

}  // namespace platform::posix
