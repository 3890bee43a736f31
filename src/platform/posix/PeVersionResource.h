#pragma once
// Finds the version record inside a PE image (PE32 or PE32+). The image is read through a
// small source interface so that files are read piecewise and fuzzing works in memory.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly size bytes at offset; false when it cannot.
    virtual bool ReadAt(std::uint64_t offset, void* out, std::size_t size) const = 0;
};

class MemorySource final : public ByteSource {
  public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* out, std::size_t size) const override;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// The VS_VERSIONINFO block of RT_VERSION (first name, first language), exactly as long as
// the block says, and only when its root carries a VS_FIXEDFILEINFO with the right
// signature. Any malformation gives nothing.
std::optional<std::vector<std::uint8_t>> ReadVersionResource(const ByteSource& image);

// Where the VS_FIXEDFILEINFO of a VS_VERSIONINFO block lies; nothing when the block is
// malformed, has another key, or its fixed information is short or wrongly signed.
std::optional<std::size_t> FixedFileInfoOffset(const std::uint8_t* block, std::size_t size);

}  // namespace platform
