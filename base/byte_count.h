#pragma once

#include <concepts>
#include <cstddef>
#include <optional>

// A number of bytes computed without wrapping. Pixel memory is asked for only
// in these (PixelBlock::Allocate takes nothing else), because a count that
// wrapped on its way to size_t asks for a small block that the caller then
// fills as if it were large: on a 32-bit build a 27000 x 27000 image of
// 16-bit RGB needs 4.4 GB, which wraps to 80 MB.

namespace quillon {

template <std::unsigned_integral Size>
class BasicByteCount {
  public:
    // No bytes.
    constexpr BasicByteCount() = default;

    // The product of `factors` (at least one), or nothing when a factor is
    // negative or the product does not fit in Size.
    template <std::integral... Factors>
    requires(sizeof...(Factors) >
             0) static constexpr std::optional<BasicByteCount> Of(Factors... factors) {
        Size product = 1;
        const bool fits = (MultiplyInto(product, factors) && ...);
        if (!fits) return std::nullopt;
        return BasicByteCount(product);
    }

    constexpr Size value() const { return value_; }
    friend constexpr bool operator==(BasicByteCount, BasicByteCount) = default;

  private:
    constexpr explicit BasicByteCount(Size value) : value_(value) {}

    template <std::integral Factor>
    static constexpr bool MultiplyInto(Size& product, Factor factor) {
        if constexpr (std::signed_integral<Factor>) {
            if (factor < 0) return false;
        }
        return !__builtin_mul_overflow(product, factor, &product);
    }

    Size value_ = 0;
};

using ByteCount = BasicByteCount<std::size_t>;

}  // namespace quillon
