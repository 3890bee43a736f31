#include "platform/posix/RegistryHiveModel.h"

#include <algorithm>

namespace platform::posix {

namespace {
char Fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameValue(const RegistryValue& a, const RegistryValue& b) {
    return a.type == b.type && a.data == b.data;
}
}  // namespace

std::string FoldCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Fold);
    return out;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Fold(x) == Fold(y); });
}

std::string UserKeyPath(std::string_view key) {
    while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    std::string path(kUserRoot);
    if (key.empty()) return path;
    if (key.find("\\\\") != std::string_view::npos) return {};
    if (key.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return {};
    path += '\\';
    path += key;
    return path;
}

bool IsStorableName(std::string_view name) {
    return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

const RegistryValue* HiveKey::Find(std::string_view name) const {
    const auto it = index_.find(FoldCase(name));
    return it == index_.end() ? nullptr : &slots_[it->second]->second;
}

bool HiveKey::Set(std::string_view name, const RegistryValue& value) {
    const auto folded = FoldCase(name);
    if (const auto it = index_.find(folded); it != index_.end()) {
        auto& current = slots_[it->second]->second;
        if (SameValue(current, value)) return false;
        current = value;
        return true;
    }
    index_.emplace(folded, slots_.size());
    slots_.emplace_back(std::in_place, std::string(name), value);
    return true;
}

void HiveKey::Remove(std::string_view name) {
    const auto it = index_.find(FoldCase(name));
    if (it == index_.end()) return;
    slots_[it->second].reset();
    index_.erase(it);
}

std::vector<std::pair<const std::string*, const RegistryValue*>> HiveKey::Values() const {
    std::vector<std::pair<const std::string*, const RegistryValue*>> out;
    out.reserve(index_.size());
    for (const auto& slot : slots_)
        if (slot) out.emplace_back(&slot->first, &slot->second);
    return out;
}

std::vector<const HiveKey*> HiveModel::Keys() const {
    std::vector<const Entry*> entries;
    entries.reserve(keys_.size());
    for (const auto& [folded, entry] : keys_) entries.push_back(&entry);
    std::sort(entries.begin(), entries.end(),
              [](const Entry* a, const Entry* b) { return a->order < b->order; });
    std::vector<const HiveKey*> out;
    out.reserve(entries.size());
    for (const auto* entry : entries) out.push_back(&entry->key);
    return out;
}

const HiveKey* HiveModel::Find(std::string_view fullPath) const {
    const auto it = keys_.find(FoldCase(fullPath));
    return it == keys_.end() ? nullptr : &it->second.key;
}

bool HiveModel::Exists(std::string_view fullPath) const {
    const auto folded = FoldCase(fullPath);
    if (keys_.contains(folded)) return true;
    const auto below = folded + '\\';
    const auto it = keys_.lower_bound(below);
    return it != keys_.end() && it->first.starts_with(below);
}

HiveKey& HiveModel::Create(std::string_view fullPath) {
    const auto [it, added] =
        keys_.try_emplace(FoldCase(fullPath), Entry{next_, HiveKey(std::string(fullPath))});
    if (added) ++next_;
    return it->second.key;
}

void HiveModel::Remove(std::string_view fullPath) {
    const auto folded = FoldCase(fullPath);
    keys_.erase(folded);
    // '\' and ']' are neighbours, so [folded + '\', folded + ']') is exactly the subtree.
    keys_.erase(keys_.lower_bound(folded + '\\'), keys_.lower_bound(folded + ']'));
}

bool HiveModel::operator==(const HiveModel& other) const {
    const auto mine = Keys();
    const auto theirs = other.Keys();
    if (mine.size() != theirs.size()) return false;
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (mine[i]->Path() != theirs[i]->Path()) return false;
        const auto a = mine[i]->Values();
        const auto b = theirs[i]->Values();
        if (a.size() != b.size()) return false;
        for (std::size_t j = 0; j < a.size(); ++j)
            if (*a[j].first != *b[j].first || !SameValue(*a[j].second, *b[j].second)) return false;
    }
    return true;
}

}  // namespace platform::posix
