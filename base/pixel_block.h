#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>

#include <sys/mman.h>

#include "base/byte_count.h"

// The owner of one block of pixels (or any large byte buffer). Allocation never
// throws: a failed request leaves the block empty and answers false, so the
// caller can raise the out-of-memory flag and report instead of crashing.
//
// A block takes its memory through a BlockAllocator. The system allocator
// serves the program; a plug-in hands its blocks to the host's memory instead,
// because the host decides how much memory a filter may hold. Every block
// starts zeroed whatever its allocator.

namespace quillon {

class BlockAllocator {
  public:
    virtual ~BlockAllocator() = default;
    // `size` (> 0) zeroed bytes, or null when they cannot be had. `token` receives
    // what Free needs besides the address (a host's buffer identifier, say).
    virtual std::uint8_t* Allocate(std::size_t size, std::uintptr_t& token) noexcept = 0;
    // Gives back a block this allocator handed out, with its size and token.
    virtual void Free(std::uint8_t* data, std::size_t size, std::uintptr_t token) noexcept = 0;
};

// Photo-sized blocks are mapped straight from the kernel, whose pages are zero
// already, so nothing is written until the owner writes; they are marked for
// huge pages, which turns the tens of thousands of page faults of filling a
// 24-megapixel image into a few dozen. Under the address sanitizer every block
// comes from the ordinary heap so overruns are caught.
class SystemBlockAllocator final : public BlockAllocator {
  public:
    std::uint8_t* Allocate(std::size_t size, std::uintptr_t& token) noexcept override {
        token = kHeap;
        if (kMapLargeBlocks && size >= kMappedBlockBytes) {
            void* p =
                ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) return nullptr;
            (void)::madvise(p, size, MADV_HUGEPAGE);  // a hint; refusing it is harmless
            token = kMapped;
            return static_cast<std::uint8_t*>(p);
        }
        return static_cast<std::uint8_t*>(std::calloc(size, 1));
    }
    void Free(std::uint8_t* data, std::size_t size, std::uintptr_t token) noexcept override {
        if (token == kMapped) {
            ::munmap(data, size);
        } else {
            std::free(data);
        }
    }

    // The one instance every block uses unless it is given another allocator.
    static SystemBlockAllocator& Instance() {
        static SystemBlockAllocator instance;
        return instance;
    }

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
    static constexpr std::uintptr_t kHeap = 0;
    static constexpr std::uintptr_t kMapped = 1;
};

class PixelBlock {
  public:
    PixelBlock() = default;
    // An empty block whose allocations go through `allocator`, which must
    // outlive it.
    explicit PixelBlock(BlockAllocator& allocator) : allocator_(&allocator) {}
    ~PixelBlock() { Release(); }
    PixelBlock(const PixelBlock&) = delete;
    PixelBlock& operator=(const PixelBlock&) = delete;
    PixelBlock(PixelBlock&& other) noexcept
        : allocator_(other.allocator_),
          data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          token_(std::exchange(other.token_, 0)) {}
    PixelBlock& operator=(PixelBlock&& other) noexcept {
        if (this != &other) {
            Release();
            allocator_ = other.allocator_;
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            token_ = std::exchange(other.token_, 0);
        }
        return *this;
    }

    // Replaces the block by one of `bytes` zeroed bytes. False on allocation
    // failure, leaving the block empty.
    [[nodiscard]] bool Allocate(ByteCount bytes) {
        Release();
        const std::size_t size = bytes.value();
        if (size == 0) return true;
        data_ = allocator_->Allocate(size, token_);
        if (data_ == nullptr) return false;
        size_ = size;
        return true;
    }
    // The same for a count that may not fit; one that does not fails as an
    // allocation does.
    [[nodiscard]] bool Allocate(std::optional<ByteCount> bytes) {
        if (!bytes) {
            Release();
            return false;
        }
        return Allocate(*bytes);
    }
    void Release() {
        if (data_ != nullptr) allocator_->Free(data_, size_, token_);
        data_ = nullptr;
        size_ = 0;
        token_ = 0;
    }

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Where this block's memory comes from; blocks that replace it should use
    // the same.
    BlockAllocator& allocator() const { return *allocator_; }

  private:
    BlockAllocator* allocator_ = &SystemBlockAllocator::Instance();
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::uintptr_t token_ = 0;
};

}  // namespace quillon
