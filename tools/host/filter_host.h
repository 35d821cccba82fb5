#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plugin/host_api.h"
#include "tools/host/document.h"
#include "tools/host/plugin_library.h"

// Runs a filter plug-in on a document the way an image editor does: the
// selectors in order, the pixels served rectangle by rectangle and plane by
// plane, memory, metadata and recorded parameters through the procs. Faults
// can be injected, and everything the plug-in asked for is reported, so the
// host doubles as the plug-in's test bench.

namespace quillon::host {

// A recorded filter step: its parameters in the order they were written.
using Descriptor = std::vector<std::pair<FilterKey, std::int32_t>>;

// The answer of an advanceState call the host refuses, and of requests it
// cannot serve (a rectangle outside the document, several planes at once).
inline constexpr FilterError kHostRequestRefused = -1;

// The host's buffer memory. An editor keeps its memory from one filter run to
// the next; a HostMemory shared by several runs does the same, handing a
// buffer the last run gave back to the next run that asks for that size.
class HostMemory {
  public:
    struct Block {
        std::uint8_t* bytes = nullptr;
        std::size_t size = 0;
        std::uintptr_t token = 0;
    };
    HostMemory() = default;
    ~HostMemory();
    HostMemory(const HostMemory&) = delete;
    HostMemory& operator=(const HostMemory&) = delete;

    // A block of `size` bytes, whatever they hold; null when none can be had.
    Block* Take(std::size_t size);
    void Give(Block* block);

  private:
    std::vector<Block*> kept_;
};

struct HostOptions {
    // Memory kept between runs; none = each run has its own.
    HostMemory* memory = nullptr;
    // The selection's bounding rectangle; none = the whole document.
    std::optional<FilterRect16> selection;
    bool requestParameters = false;  // the user asks to set the filter up first
    bool descriptorProcs = true;     // the host records and plays filter steps
    bool askForDialog = false;       // playInfo: show the dialog
    std::optional<Descriptor> play;  // the step's recorded parameters
    bool bufferProcs = true;
    bool propertyProcs = true;
    bool iccProfiles = true;
    // advanceState call number n (from 1) fails with `advanceFailureCode`.
    int failAdvanceCall = 0;
    FilterError advanceFailureCode = kHostRequestRefused;
    // Buffer allocation number n (from 1) fails.
    int failAllocation = 0;
    std::uintptr_t ownerWindow = 0;
};

struct TransferRequest {
    bool input = true;  // false: output
    FilterRect16 rect{};
    std::int16_t plane = 0;
};

struct HostReport {
    std::int16_t result = 0;
    std::vector<TransferRequest> requests;  // one per advanceState call
    std::optional<Descriptor> recorded;     // what the plug-in handed back
    bool playDescriptorConsumed = false;    // the plug-in disposed of the step it was given
    std::int16_t recordInfo = -1;
    int continueCalls = 0;
    FilterRect16 lastIn{}, lastOut{}, lastMask{};  // after the last selector
    int allocations = 0;
    // Left behind or misused after the run; a sound plug-in leaves all at 0.
    int buffersHeld = 0;
    int handlesHeld = 0;
    int badReleases = 0;
    int offThreadCalls = 0;  // procs called from another thread than the selector's
    int32_t maxSpace = -1;
    int32_t bufferSpace = -1;
    double startSeconds = 0.0;  // wall time of the start selector
};

// Runs parameters (when asked), prepare, start, continue while the plug-in
// requests pixels, and finish. The document holds the result afterwards; when
// the result is not 0 it holds whatever was handed over before the failure.
HostReport RunFilter(const PluginLibrary& plugin, Document& document, const HostOptions& options);

// The about selector; its result.
std::int16_t RunAbout(const PluginLibrary& plugin, std::uintptr_t ownerWindow);

// 'vig2' for FILTER_KEY('v','i','g','2').
std::string KeyText(FilterKey key);
// The text form of a descriptor file: one "'key' value" line per parameter.
std::string FormatDescriptor(const Descriptor& descriptor);
// Nothing when a line cannot be read.
std::optional<Descriptor> ParseDescriptor(const std::string& text);

}  // namespace quillon::host
