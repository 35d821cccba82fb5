#include "tools/host/filter_host.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <sstream>
#include <thread>

#include "base/pixel_block.h"

namespace quillon::host {

namespace {

constexpr int kMaxContinueCalls = 100000;

bool IsEmpty(const FilterRect16& r) {
    return r.top == 0 && r.left == 0 && r.bottom == 0 && r.right == 0;
}

using Buffer = HostMemory::Block;

struct Handle {
    std::vector<std::uint8_t> bytes;
};

struct ReadToken {
    Descriptor entries;
    std::size_t next = 0;
    std::int32_t current = 0;
};

struct WriteToken {
    Descriptor entries;
};

class Session {
  public:
    Session(Document& document, const HostOptions& options, HostReport& report)
        : document_(document),
          options_(options),
          report_(report),
          memory_(options.memory != nullptr ? *options.memory : ownMemory_) {
        record_.hostContext = this;
        const bool small = document.width <= 32767 && document.height <= 32767;
        record_.wholeSize = {document.height, document.width};
        if (small) {
            record_.imageSize = {static_cast<std::int16_t>(document.height),
                                 static_cast<std::int16_t>(document.width)};
            record_.filterRect = options.selection.value_or(
                FilterRect16{0, 0, record_.imageSize.v, record_.imageSize.h});
        }
        record_.depth = static_cast<std::int16_t>(document.depth);
        record_.planes = 3;
        record_.advanceState = &AdvanceState;
        platform_.ownerWindow = options.ownerWindow;
        record_.platformData = &platform_;
        if (options.iccProfiles && !document.icc.empty()) {
            record_.canUseICCProfiles = 1;
            record_.iCCprofileData = document.icc.data();
            record_.iCCprofileSize = static_cast<std::int32_t>(document.icc.size());
        }

        buffers_ = {this, &Allocate, &LockBuffer, &FreeBuffer};
        if (options.bufferProcs) record_.bufferProcs = &buffers_;
        handles_ = {this, &HandleSize, &LockHandle, &UnlockHandle, &DisposeHandle};
        record_.handleProcs = &handles_;
        properties_ = {this, &GetProperty};
        if (options.propertyProcs) record_.propertyProcs = &properties_;

        if (options.descriptorProcs) {
            read_ = {this, &OpenRead, &CloseRead, &GetKey, &GetInteger};
            write_ = {this, &OpenWrite, &CloseWrite, &PutInteger};
            descriptor_.playInfo =
                options.askForDialog ? FILTER_PLAY_DISPLAY_DIALOG : FILTER_PLAY_DIALOG_OPTIONAL;
            descriptor_.recordInfo = -1;
            descriptor_.readDescriptorProcs = &read_;
            descriptor_.writeDescriptorProcs = &write_;
            if (options.play) {
                descriptor_.descriptor = NewHandle(Serialise(*options.play));
                played_ = descriptor_.descriptor;
            }
            record_.descriptorParameters = &descriptor_;
        }
    }

    ~Session() {
        for (Buffer* b : buffers) memory_.Give(b);
        for (Handle* h : handles) delete h;
    }

    std::int16_t Call(std::int16_t selector) {
        std::int16_t result = 0;
        std::intptr_t data = 0;
        entry(selector, &record_, &data, &result);
        return result;
    }

    void Run(FilterEntryPoint entryPoint) {
        entry = entryPoint;
        report_.result = 0;
        if (options_.requestParameters) report_.result = Call(FILTER_SELECTOR_PARAMETERS);
        if (report_.result == 0) {
            report_.result = Call(FILTER_SELECTOR_PREPARE);
            report_.maxSpace = record_.maxSpace;
            report_.bufferSpace = record_.bufferSpace;
        }
        if (report_.result == 0) {
            const auto start = std::chrono::steady_clock::now();
            report_.result = Call(FILTER_SELECTOR_START);
            report_.startSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        while (
            report_.result == 0 && report_.continueCalls < kMaxContinueCalls &&
            (!IsEmpty(record_.inRect) || !IsEmpty(record_.outRect) || !IsEmpty(record_.maskRect))) {
            if (Serve() != 0) break;
            ++report_.continueCalls;
            report_.result = Call(FILTER_SELECTOR_CONTINUE);
        }
        if (report_.result == 0) (void)Call(FILTER_SELECTOR_FINISH);

        report_.lastIn = record_.inRect;
        report_.lastOut = record_.outRect;
        report_.lastMask = record_.maskRect;
        if (options_.descriptorProcs) {
            report_.recordInfo = descriptor_.recordInfo;
            report_.playDescriptorConsumed =
                played_ != nullptr && !handles.contains(reinterpret_cast<Handle*>(played_));
            if (descriptor_.descriptor != nullptr && descriptor_.descriptor != played_) {
                auto* h = reinterpret_cast<Handle*>(descriptor_.descriptor);
                if (handles.contains(h)) report_.recorded = Deserialise(h->bytes);
            }
        }
        // The descriptor belongs to the host; what else is left, the plug-in
        // failed to give back.
        if (descriptor_.descriptor != nullptr) {
            DisposeHandle(this, descriptor_.descriptor);
            descriptor_.descriptor = nullptr;
        }
        report_.buffersHeld = static_cast<int>(buffers.size());
        report_.offThreadCalls = offThreadCalls_.load();
        report_.handlesHeld = static_cast<int>(handles.size());
    }

    FilterEntryPoint entry = nullptr;
    std::set<Buffer*> buffers;
    std::set<Handle*> handles;

  private:
    // Every proc is reached through here: a call from another thread than the
    // one that called the plug-in is counted (a host may serve its procs on
    // its own thread only).
    static Session& Of(void* context) {
        auto& s = *static_cast<Session*>(context);
        if (std::this_thread::get_id() != s.thread_) ++s.offThreadCalls_;
        return s;
    }

    // The sample of plane `plane` at row y, column x.
    std::uint8_t* At(int plane, int y, int x) {
        const auto sampleBytes = static_cast<std::size_t>(document_.SampleBytes());
        const std::size_t index =
            static_cast<std::size_t>(y) * static_cast<std::size_t>(document_.width) +
            static_cast<std::size_t>(x);
        return document_.planes[static_cast<std::size_t>(plane)].data() + index * sampleBytes;
    }
    bool Valid(const FilterRect16& r, std::int16_t lo, std::int16_t hi) const {
        return r.top >= 0 && r.left >= 0 && r.top < r.bottom && r.left < r.right &&
               r.bottom <= document_.height && r.right <= document_.width && lo == hi && lo >= 0 &&
               lo < 3;
    }

    // Hands out the requested pixels. Both point into the document itself:
    // output is written in place, so it starts as the document's own pixels
    // and is the document's as soon as it is written.
    FilterError Serve() {
        record_.inData = nullptr;
        record_.outData = nullptr;
        if (!IsEmpty(record_.inRect)) {
            const FilterRect16& r = record_.inRect;
            if (!Valid(r, record_.inLoPlane, record_.inHiPlane)) return kHostRequestRefused;
            // Input is read in place: the plug-in may not write it.
            record_.inData = At(record_.inLoPlane, r.top, r.left);
            record_.inRowBytes = static_cast<std::int32_t>(document_.PlaneRowBytes());
        }
        if (!IsEmpty(record_.outRect)) {
            const FilterRect16& r = record_.outRect;
            if (!Valid(r, record_.outLoPlane, record_.outHiPlane)) return kHostRequestRefused;
            record_.outData = At(record_.outLoPlane, r.top, r.left);
            record_.outRowBytes = static_cast<std::int32_t>(document_.PlaneRowBytes());
        }
        return 0;
    }

    static FilterError AdvanceState(FilterRecord* record) {
        Session& s = Of(record->hostContext);
        const bool input = !IsEmpty(record->inRect);
        s.report_.requests.push_back({input, input ? record->inRect : record->outRect,
                                      input ? record->inLoPlane : record->outLoPlane});
        if (static_cast<int>(s.report_.requests.size()) == s.options_.failAdvanceCall) {
            // What was written before stays in the document.
            return s.options_.advanceFailureCode;
        }
        return s.Serve();
    }

    // Buffers.
    static FilterError Allocate(void* context, std::uint64_t size, FilterBufferId* id) {
        Session& s = Of(context);
        if (++s.report_.allocations == s.options_.failAllocation || size > SIZE_MAX) {
            return FILTER_RESULT_OUT_OF_MEMORY;
        }
        Buffer* buffer = s.memory_.Take(static_cast<std::size_t>(size));
        if (buffer == nullptr) return FILTER_RESULT_OUT_OF_MEMORY;
        *id = reinterpret_cast<FilterBufferId>(buffer);
        s.buffers.insert(buffer);
        return 0;
    }
    static void* LockBuffer(void* context, FilterBufferId id, std::uint8_t) {
        Session& s = Of(context);
        auto* b = reinterpret_cast<Buffer*>(id);
        if (!s.buffers.contains(b)) {
            ++s.report_.badReleases;
            return nullptr;
        }
        return b->bytes;
    }
    static void FreeBuffer(void* context, FilterBufferId id) {
        Session& s = Of(context);
        auto* b = reinterpret_cast<Buffer*>(id);
        if (s.buffers.erase(b) == 0) {
            ++s.report_.badReleases;
            return;
        }
        s.memory_.Give(b);
    }

    // Handles.
    FilterHandle NewHandle(std::vector<std::uint8_t> bytes) {
        auto* h = new Handle{std::move(bytes)};
        handles.insert(h);
        return reinterpret_cast<FilterHandle>(h);
    }
    Handle* Find(FilterHandle handle) {
        auto* h = reinterpret_cast<Handle*>(handle);
        if (handles.contains(h)) return h;
        ++report_.badReleases;
        return nullptr;
    }
    static std::uint64_t HandleSize(void* context, FilterHandle handle) {
        const Handle* h = Of(context).Find(handle);
        return h ? h->bytes.size() : 0;
    }
    static void* LockHandle(void* context, FilterHandle handle, std::uint8_t) {
        Handle* h = Of(context).Find(handle);
        return h ? h->bytes.data() : nullptr;
    }
    static void UnlockHandle(void* context, FilterHandle) { (void)Of(context); }
    static void DisposeHandle(void* context, FilterHandle handle) {
        if (handle == nullptr) return;
        Session& s = Of(context);
        if (Handle* h = s.Find(handle)) {
            s.handles.erase(h);
            delete h;
        }
    }

    // Properties.
    static FilterError GetProperty(void* context, FilterKey signature, FilterKey key,
                                   std::int32_t index, std::int64_t*, FilterHandle* complex) {
        Session& s = Of(context);
        if (complex == nullptr || signature != FILTER_PROPERTY_SIGNATURE || index != 0) {
            return kHostRequestRefused;
        }
        const std::vector<std::uint8_t>* bytes = nullptr;
        if (key == FILTER_PROPERTY_EXIF) bytes = &s.document_.exif;
        if (key == FILTER_PROPERTY_XMP) bytes = &s.document_.xmp;
        if (bytes == nullptr || bytes->empty()) return kHostRequestRefused;
        *complex = s.NewHandle(*bytes);
        return 0;
    }

    // Descriptors: a handle holds (key, value) pairs of 32-bit words.
    static std::vector<std::uint8_t> Serialise(const Descriptor& d) {
        std::vector<std::uint8_t> bytes(d.size() * 8);
        for (std::size_t i = 0; i < d.size(); ++i) {
            std::memcpy(bytes.data() + 8 * i, &d[i].first, 4);
            std::memcpy(bytes.data() + 8 * i + 4, &d[i].second, 4);
        }
        return bytes;
    }
    static Descriptor Deserialise(const std::vector<std::uint8_t>& bytes) {
        Descriptor d(bytes.size() / 8);
        for (std::size_t i = 0; i < d.size(); ++i) {
            std::memcpy(&d[i].first, bytes.data() + 8 * i, 4);
            std::memcpy(&d[i].second, bytes.data() + 8 * i + 4, 4);
        }
        return d;
    }
    static FilterReadToken OpenRead(void* context, FilterHandle descriptor, const FilterKey*) {
        const Handle* h = Of(context).Find(descriptor);
        if (h == nullptr) return nullptr;
        return reinterpret_cast<FilterReadToken>(new ReadToken{Deserialise(h->bytes)});
    }
    static FilterError CloseRead(void* context, FilterReadToken token) {
        (void)Of(context);
        delete reinterpret_cast<ReadToken*>(token);
        return 0;
    }
    static std::uint8_t GetKey(void* context, FilterReadToken token, FilterKey* key,
                               FilterKey* type, std::int32_t* flags) {
        (void)Of(context);
        auto* t = reinterpret_cast<ReadToken*>(token);
        if (t->next >= t->entries.size()) return 0;
        *key = t->entries[t->next].first;
        *type = FILTER_TYPE_INTEGER;
        *flags = 0;
        t->current = t->entries[t->next].second;
        ++t->next;
        return 1;
    }
    static FilterError GetInteger(void* context, FilterReadToken token, std::int32_t* value) {
        (void)Of(context);
        *value = reinterpret_cast<ReadToken*>(token)->current;
        return 0;
    }
    static FilterWriteToken OpenWrite(void* context) {
        (void)Of(context);
        return reinterpret_cast<FilterWriteToken>(new WriteToken);
    }
    static FilterError PutInteger(void* context, FilterWriteToken token, FilterKey key,
                                  std::int32_t value) {
        (void)Of(context);
        reinterpret_cast<WriteToken*>(token)->entries.emplace_back(key, value);
        return 0;
    }
    static FilterError CloseWrite(void* context, FilterWriteToken token, FilterHandle* descriptor) {
        std::unique_ptr<WriteToken> t(reinterpret_cast<WriteToken*>(token));
        *descriptor = Of(context).NewHandle(Serialise(t->entries));
        return 0;
    }

    Document& document_;
    const HostOptions& options_;
    HostReport& report_;
    FilterRecord record_{};
    FilterPlatformData platform_{};
    FilterBufferProcs buffers_{};
    FilterHandleProcs handles_{};
    FilterPropertyProcs properties_{};
    FilterReadDescriptorProcs read_{};
    FilterWriteDescriptorProcs write_{};
    FilterDescriptorParameters descriptor_{};
    FilterHandle played_ = nullptr;
    HostMemory ownMemory_;
    HostMemory& memory_;
    std::thread::id thread_ = std::this_thread::get_id();
    std::atomic<int> offThreadCalls_{0};
};

}  // namespace

HostMemory::~HostMemory() {
    for (Block* b : kept_) {
        SystemBlockAllocator::Instance().Free(b->bytes, b->size, b->token);
        delete b;
    }
}

HostMemory::Block* HostMemory::Take(std::size_t size) {
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if ((*it)->size == size) {
            Block* b = *it;
            kept_.erase(it);
            return b;
        }
    }
    auto block = std::make_unique<Block>();
    block->size = size;
    // Large blocks straight from the kernel, in huge pages where it can.
    block->bytes = SystemBlockAllocator::Instance().Allocate(size, block->token);
    if (block->bytes == nullptr) return nullptr;
    // A plug-in must not rely on what a host's memory holds.
    std::memset(block->bytes, 0xA5, std::min<std::size_t>(size, 64));
    return block.release();
}

void HostMemory::Give(Block* block) { kept_.push_back(block); }

HostReport RunFilter(const PluginLibrary& plugin, Document& document, const HostOptions& options) {
    HostReport report;
    Session session(document, options, report);
    session.Run(plugin.entry());
    return report;
}

std::int16_t RunAbout(const PluginLibrary& plugin, std::uintptr_t ownerWindow) {
    FilterPlatformData platform{ownerWindow};
    AboutRecord about{&platform};
    std::int16_t result = 0;
    std::intptr_t data = 0;
    plugin.entry()(FILTER_SELECTOR_ABOUT, &about, &data, &result);
    return result;
}

std::string KeyText(FilterKey key) {
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((key >> shift) & 0xFF);
    return text + "'";
}

std::string FormatDescriptor(const Descriptor& descriptor) {
    std::string text;
    for (const auto& [key, value] : descriptor) {
        text += KeyText(key) + " " + std::to_string(value) + "\n";
    }
    return text;
}

std::optional<Descriptor> ParseDescriptor(const std::string& text) {
    Descriptor descriptor;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (line.size() < 8 || line[0] != '\'' || line[5] != '\'') return std::nullopt;
        const FilterKey key = FILTER_KEY(line[1], line[2], line[3], line[4]);
        char* end = nullptr;
        const long value = std::strtol(line.c_str() + 6, &end, 10);
        if (end == line.c_str() + 6 || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
        descriptor.emplace_back(key, static_cast<std::int32_t>(value));
    }
    return descriptor;
}

}  // namespace quillon::host
