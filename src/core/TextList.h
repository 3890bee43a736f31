#pragma once
// Text lists as the units know them: optionally sorted, case-insensitive (ASCII folding),
// duplicates ignored when sorted; loaded from files whose lines end in CR LF, LF or CR.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// ASCII case folding; other bytes compare as they are, which keeps UTF-8 intact.
int CompareTextIgnoreCase(std::string_view a, std::string_view b);
bool SameTextIgnoreCase(std::string_view a, std::string_view b);
std::string AsciiUpper(std::string_view text);

// Splits text into lines; a final line break adds no entry.
std::vector<std::string> SplitLines(std::string_view text);

// The comma-text rule: blanks and control characters separate like commas, double
// quotes group, a separator at the end adds nothing, a NUL ends the text.
std::vector<std::string> SplitCommaText(std::string_view text);

class TStringList {
  public:
    // A sorted list keeps its entries in case-insensitive order and ignores an entry
    // equal (ignoring case) to one already present.
    explicit TStringList(bool sorted = false) : sorted_(sorted) {}

    // Returns the entry's index (the existing one for an ignored duplicate).
    std::size_t Add(std::string text);
    void Clear() { items_.clear(); }
    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    // Raises EListError "Der Index der Liste überschreitet das Maximum (%d)".
    const std::string& Strings(std::size_t index) const;
    const std::string& operator[](std::size_t index) const { return Strings(index); }
    // -1 when absent; binary search when sorted.
    long IndexOf(std::string_view text) const;
    bool Contains(std::string_view text) const { return IndexOf(text) >= 0; }
    const std::vector<std::string>& Items() const { return items_; }

    void SetText(std::string_view text);
    // Replaces the contents. Raises EFOpenError "Datei %s kann nicht geöffnet werden"
    // when the file cannot be opened, and Error when it is larger than maxBytes.
    void LoadFromFile(const std::string& path, std::size_t maxBytes = kDefaultMaxFileBytes);

    static constexpr std::size_t kDefaultMaxFileBytes = 16u << 20;

  private:
    bool sorted_;
    std::vector<std::string> items_;
};

}  // namespace core
