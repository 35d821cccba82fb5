#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/pixel_block.h"

namespace quillon::testing {

// Hands out heap memory, keeps count of what is live and refuses the n-th
// request (0: none), as a host that runs out of memory would.
class TestAllocator final : public BlockAllocator {
  public:
    explicit TestAllocator(int failOn = 0) : failOn_(failOn) {}

    std::uint8_t* Allocate(std::size_t size, std::uintptr_t& token) noexcept override {
        if (++requests_ == failOn_) return nullptr;
        auto* data = static_cast<std::uint8_t*>(std::calloc(size, 1));
        if (data == nullptr) return nullptr;
        token = static_cast<std::uintptr_t>(requests_);
        ++live_;
        return data;
    }
    void Free(std::uint8_t* data, std::size_t, std::uintptr_t) noexcept override {
        --live_;
        std::free(data);
    }

    int requests() const { return requests_; }
    int live() const { return live_; }

  private:
    int failOn_;
    int requests_ = 0;
    int live_ = 0;
};

}  // namespace quillon::testing
