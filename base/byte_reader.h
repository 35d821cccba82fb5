#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Bounds-checked reads from a block of untrusted bytes (metadata blocks, file
// headers, the lens database). Every accessor checks the whole range it touches
// before reading and answers std::nullopt instead of reading outside the block,
// so a parser can never be steered past the end by an offset or a count.

namespace quillon {

enum class ByteOrder { kLittle, kBig };

class ByteReader {
  public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::uint8_t> bytes, ByteOrder order = ByteOrder::kLittle)
        : bytes_(bytes), order_(order) {}

    std::size_t size() const { return bytes_.size(); }
    ByteOrder order() const { return order_; }
    void SetOrder(ByteOrder order) { order_ = order; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // True when [offset, offset + count) lies inside the block, without overflow.
    bool Fits(std::uint64_t offset, std::uint64_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }

    std::optional<std::uint8_t> U8(std::uint64_t offset) const {
        if (!Fits(offset, 1)) return std::nullopt;
        return bytes_[static_cast<std::size_t>(offset)];
    }
    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        if (!Fits(offset, 2)) return std::nullopt;
        const auto* p = bytes_.data() + offset;
        return order_ == ByteOrder::kLittle ? static_cast<std::uint16_t>(p[0] | (p[1] << 8))
                                            : static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        if (!Fits(offset, 4)) return std::nullopt;
        const auto* p = bytes_.data() + offset;
        if (order_ == ByteOrder::kLittle) {
            return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                   (static_cast<std::uint32_t>(p[2]) << 16) |
                   (static_cast<std::uint32_t>(p[3]) << 24);
        }
        return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
               (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
    }
    std::optional<std::int16_t> I16(std::uint64_t offset) const {
        auto v = U16(offset);
        if (!v) return std::nullopt;
        return static_cast<std::int16_t>(*v);
    }
    std::optional<std::int32_t> I32(std::uint64_t offset) const {
        auto v = U32(offset);
        if (!v) return std::nullopt;
        return static_cast<std::int32_t>(*v);
    }

    // The sub-range [offset, offset + count), or nullopt when it does not fit.
    std::optional<std::span<const std::uint8_t>> Slice(std::uint64_t offset,
                                                       std::uint64_t count) const {
        if (!Fits(offset, count)) return std::nullopt;
        return bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
    }

    // Text of at most `maxCount` bytes from `offset`, ending at the first NUL or at
    // the end of the block, whichever comes first. Never reads outside the block.
    std::string Text(std::uint64_t offset, std::uint64_t maxCount) const {
        std::string out;
        if (offset >= bytes_.size()) return out;
        const std::uint64_t end =
            offset + std::min<std::uint64_t>(maxCount, bytes_.size() - offset);
        for (std::uint64_t i = offset; i < end && bytes_[static_cast<std::size_t>(i)] != 0; ++i) {
            out.push_back(static_cast<char>(bytes_[static_cast<std::size_t>(i)]));
        }
        return out;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    ByteOrder order_ = ByteOrder::kLittle;
};

}  // namespace quillon
