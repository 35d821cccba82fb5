#include "plugin/host_memory.h"

#include <cstring>

#include "text/memory_messages.h"

namespace quillon::plugin {

namespace {

// Sizes are rounded up so that every block keeps the alignment the pixel
// loops expect of the next one in a host that hands out consecutive memory.
constexpr std::size_t kBlockGranule = 16;

}  // namespace

bool HasBufferProcs(const FilterRecord& record) {
    const FilterBufferProcs* procs = record.bufferProcs;
    return procs != nullptr && procs->allocateProc != nullptr && procs->lockProc != nullptr &&
           procs->freeProc != nullptr;
}

void HostBlockAllocator::Fail(std::string_view message) noexcept {
    sink_.Show(message);
    call_.result = FILTER_RESULT_OUT_OF_MEMORY;
}

// The hop's calls capture one pointer, which a std::function holds without
// allocating: these calls must not throw.
std::uint8_t* HostBlockAllocator::Allocate(std::size_t size, std::uintptr_t& token) noexcept {
    if (!hop_) return AllocateHere(size, token);
    struct {
        HostBlockAllocator* self;
        std::size_t size;
        std::uintptr_t& token;
        std::uint8_t* data = nullptr;
    } request{this, size, token};
    hop_([r = &request] { r->data = r->self->AllocateHere(r->size, r->token); });
    return request.data;
}

void HostBlockAllocator::Free(std::uint8_t* data, std::size_t, std::uintptr_t token) noexcept {
    if (!hop_) {
        FreeHere(data, token);
        return;
    }
    struct {
        HostBlockAllocator* self;
        std::uint8_t* data;
        std::uintptr_t token;
    } request{this, data, token};
    hop_([r = &request] { r->self->FreeHere(r->data, r->token); });
}

std::uint8_t* HostBlockAllocator::AllocateHere(std::size_t size, std::uintptr_t& token) noexcept {
    if (held_ == blocks_.size()) {
        Fail(text::kAllocMemError1);
        return nullptr;
    }
    if (size > SIZE_MAX - kBlockGranule) {
        Fail(text::kAllocMemError2);
        return nullptr;
    }
    const std::size_t rounded = (size + kBlockGranule - 1) / kBlockGranule * kBlockGranule;
    const FilterBufferProcs& procs = *call_.record.bufferProcs;
    FilterBufferId buffer = nullptr;
    if (procs.allocateProc(procs.context, rounded, &buffer) != FILTER_RESULT_OK ||
        buffer == nullptr) {
        Fail(text::kAllocMemError2);
        return nullptr;
    }
    auto* data = static_cast<std::uint8_t*>(procs.lockProc(procs.context, buffer, 0));
    if (data == nullptr) {
        // The buffer is of no use unlocked; giving it back keeps the host's
        // memory as it was.
        procs.freeProc(procs.context, buffer);
        Fail(text::kAllocMemError3);
        return nullptr;
    }
    // Host memory comes as it was left; blocks start zeroed.
    std::memset(data, 0, size);
    std::size_t slot = 0;
    while (blocks_[slot].buffer != nullptr) ++slot;
    blocks_[slot] = Held{data, buffer};
    ++held_;
    token = slot;
    return data;
}

void HostBlockAllocator::FreeHere(std::uint8_t* data, std::uintptr_t token) noexcept {
    if (token >= blocks_.size() || blocks_[token].data != data || data == nullptr) {
        sink_.Show("Internal error: 002");
        return;
    }
    const FilterBufferProcs& procs = *call_.record.bufferProcs;
    procs.freeProc(procs.context, blocks_[token].buffer);
    blocks_[token] = Held{};
    --held_;
}

}  // namespace quillon::plugin
