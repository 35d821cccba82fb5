#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

// The owner of one block of pixels (or any large byte buffer). Allocation never
// throws: a failed request leaves the block empty and answers false, so the
// caller can raise the out-of-memory flag and report instead of crashing.

namespace quillon {

class PixelBlock {
public:
    PixelBlock() = default;

    // Replaces the block by one of `size` zeroed bytes. False on allocation failure,
    // leaving the block empty.
    [[nodiscard]] bool Allocate(std::size_t size) {
        data_.reset();
        size_ = 0;
        if (size == 0) return true;
        data_.reset(new (std::nothrow) std::uint8_t[size]());
        if (!data_) return false;
        size_ = size;
        return true;
    }
    void Release() {
        data_.reset();
        size_ = 0;
    }

    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
};

}  // namespace quillon
