#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/processors.h"
#include "base/status.h"
#include "platform/message_sink.h"

// A fixed pool of worker threads for the engine's two expensive loops. A
// fan-out cuts a row range into equal bands, hands one band to each worker and
// runs the last band (with the remainder) on the calling thread, then waits for
// all of them. There is no queue and no lock: each worker has its own slot and
// a pair of auto-reset events, a slot is written only while its worker waits,
// and bands write disjoint rows.

namespace quillon::engine {

inline constexpr std::int32_t kMaxWorkers = kMaxProcessors - 1;

// A band of rows [firstRow, endRow). The function must not throw; it reports a
// failure through its status, and any failing band fails the whole fan-out.
struct BandJob {
    Status (*run)(const void* context, std::int32_t firstRow,
                  std::int32_t endRow) noexcept = nullptr;
    const void* context = nullptr;
};

class WorkerPool {
  public:
    WorkerPool();
    ~WorkerPool();  // stops the workers
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Threads besides the caller that take part in a fan-out.
    std::int32_t WorkerCount() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
    friend Impl& PoolImpl(WorkerPool& pool);
};

// Number of workers for a Processors value: Processors - 1 limited to 0..63; a
// value above 64 counts as 1 (a corrupt value must not start dozens of threads).
std::int32_t WorkerCountFor(std::int32_t processors);

// Called before each thread is created; returning false makes the creation
// fail. Lets tests exercise the failure path.
using ThreadCreationGate = bool (*)(std::int32_t workerIndex);

// Starts the workers for `processors`. On failure shows "Unable to create
// thread, resetting to one processor. Please restart Quillon.", sets
// `processors` to 1 (the caller saves the settings) and returns 1; the pool is
// then left without workers, so fan-outs still work on the calling thread.
// A pool that already runs is stopped first.
Status CreateWorkerPool(WorkerPool& pool, std::int32_t& processors, platform::MessageSink& sink,
                        ThreadCreationGate gate = nullptr);

// Ends and joins every worker. Safe to call on a stopped pool.
void StopWorkerPool(WorkerPool& pool);

// The band of `index` (0..workers) when `rows` are shared by `workers` workers
// and the caller: workers get rows / (workers + 1) each, the caller (index ==
// workers) the rest.
struct RowBand {
    std::int32_t firstRow = 0;
    std::int32_t endRow = 0;
};
RowBand BandOf(std::int32_t rows, std::int32_t workers, std::int32_t index);

// Runs `job` over [0, rows) split into bands; returns after every band has
// finished, with the status of the first failing band in row order. One
// fan-out at a time per pool, from the thread that owns it: a band that
// started another fan-out on the same pool would wait for itself.
Status FanOut(WorkerPool& pool, std::int32_t rows, const BandJob& job);

// Convenience for a callable `band(firstRow, endRow) -> Status`.
template <class Band>
Status FanOutBands(WorkerPool& pool, std::int32_t rows, const Band& band) {
    BandJob job;
    job.run = +[](const void* context, std::int32_t firstRow, std::int32_t endRow) noexcept {
        return Status((*static_cast<const Band*>(context))(firstRow, endRow));
    };
    job.context = &band;
    return FanOut(pool, rows, job);
}

// Consulted before each temporary allocation of the engine (sample tables,
// band work memory), possibly from several threads at once. Answering false
// makes that allocation fail exactly as if memory were exhausted, so a host can
// cap the engine's memory and tests can reach the failure paths.
class WorkMemoryGate {
  public:
    virtual ~WorkMemoryGate() = default;
    virtual bool MayAllocate(std::size_t bytes) noexcept = 0;
};

// What every fanned-out engine operation needs from the program state.
struct EngineContext {
    WorkerPool& pool;
    platform::MessageSink& sink;
    WorkMemoryGate* memoryGate = nullptr;  // none: every allocation may be tried
    // 8-bit remaps use 256-bit vector instructions where the processor has
    // them. Their results may differ from the 128-bit form's in one level of
    // rare samples; turning this off gives the same bytes on every x86-64.
    bool allowWideVectors = true;

    bool MayAllocate(std::size_t bytes) const {
        return memoryGate == nullptr || memoryGate->MayAllocate(bytes);
    }
};

}  // namespace quillon::engine
