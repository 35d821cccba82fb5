#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "base/pixel_block.h"
#include "platform/message_sink.h"
#include "plugin/host_call.h"

// Pixel memory of a filter run, taken from the host's buffer procs: the host
// decides how much memory its filters may hold, and frees what a filter left
// behind. The blocks of one run are the image blocks of the program's image
// memory, with its limits and messages.

namespace quillon::plugin {

// At most this many blocks are held at once.
inline constexpr std::size_t kMaxHostBlocks = 40;

// Carries a call to the thread the host called the plug-in on and waits for
// it; calls the host's procs there, wherever the block is taken or given back.
using HostThreadHop = std::function<void(const std::function<void()>&)>;

class HostBlockAllocator final : public BlockAllocator {
  public:
    // `call` and `sink` must outlive the allocator, and the allocator every
    // block it served. The record must carry all three buffer procs (see
    // HasBufferProcs). Without `hop` every block must be taken and given back
    // on the host's thread.
    HostBlockAllocator(HostCall call, platform::MessageSink& sink, HostThreadHop hop = {})
        : call_(call), sink_(sink), hop_(std::move(hop)) {}
    HostBlockAllocator(const HostBlockAllocator&) = delete;
    HostBlockAllocator& operator=(const HostBlockAllocator&) = delete;

    // A failure shows one of the three "allocMem error" messages, sets the
    // result to out of memory and leaves the count of held blocks as it was.
    std::uint8_t* Allocate(std::size_t size, std::uintptr_t& token) noexcept override;
    void Free(std::uint8_t* data, std::size_t size, std::uintptr_t token) noexcept override;

    std::size_t HeldBlocks() const { return held_; }

  private:
    std::uint8_t* AllocateHere(std::size_t size, std::uintptr_t& token) noexcept;
    void FreeHere(std::uint8_t* data, std::uintptr_t token) noexcept;

    struct Held {
        std::uint8_t* data = nullptr;
        FilterBufferId buffer = nullptr;
    };
    void Fail(std::string_view message) noexcept;

    HostCall call_;
    platform::MessageSink& sink_;
    HostThreadHop hop_;
    std::array<Held, kMaxHostBlocks> blocks_{};
    std::size_t held_ = 0;
};

// Whether the host offers buffer memory; without it a run uses the
// process's own.
bool HasBufferProcs(const FilterRecord& record);

}  // namespace quillon::plugin
