#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include <sys/mman.h>

// The owner of one block of pixels (or any large byte buffer). Allocation never
// throws: a failed request leaves the block empty and answers false, so the
// caller can raise the out-of-memory flag and report instead of crashing.
//
// Blocks start zeroed. Photo-sized blocks are mapped straight from the kernel,
// whose pages are zero already, so nothing is written until the owner writes;
// they are marked for huge pages, which turns the tens of thousands of page
// faults of filling a 24-megapixel image into a few dozen. Under the address
// sanitizer every block comes from the ordinary heap so overruns are caught.

namespace quillon {

class PixelBlock {
  public:
    PixelBlock() = default;
    ~PixelBlock() { Release(); }
    PixelBlock(const PixelBlock&) = delete;
    PixelBlock& operator=(const PixelBlock&) = delete;
    PixelBlock(PixelBlock&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          mapped_(std::exchange(other.mapped_, false)) {}
    PixelBlock& operator=(PixelBlock&& other) noexcept {
        if (this != &other) {
            Release();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            mapped_ = std::exchange(other.mapped_, false);
        }
        return *this;
    }

    // Replaces the block by one of `size` zeroed bytes. False on allocation failure,
    // leaving the block empty.
    [[nodiscard]] bool Allocate(std::size_t size) {
        Release();
        if (size == 0) return true;
        if (kMapLargeBlocks && size >= kMappedBlockBytes) {
            void* p =
                ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) return false;
            (void)::madvise(p, size, MADV_HUGEPAGE);  // a hint; refusing it is harmless
            data_ = static_cast<std::uint8_t*>(p);
            mapped_ = true;
        } else {
            data_ = static_cast<std::uint8_t*>(std::calloc(size, 1));
            if (data_ == nullptr) return false;
        }
        size_ = size;
        return true;
    }
    void Release() {
        if (data_ != nullptr) {
            if (mapped_) {
                ::munmap(data_, size_);
            } else {
                std::free(data_);
            }
        }
        data_ = nullptr;
        size_ = 0;
        mapped_ = false;
    }

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

  private:
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool kMapLargeBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    static constexpr bool kMapLargeBlocks = false;
#else
    static constexpr bool kMapLargeBlocks = true;
#endif
#else
    static constexpr bool kMapLargeBlocks = true;
#endif
    static constexpr std::size_t kMappedBlockBytes = std::size_t{4} << 20;

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
};

}  // namespace quillon
