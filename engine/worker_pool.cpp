#include "engine/worker_pool.h"

#include <array>
#include <new>
#include <system_error>
#include <thread>

#include "base/processors.h"
#include "platform/auto_reset_event.h"

namespace quillon::engine {

namespace {

enum class JobCode { kBand, kExit };

struct WorkerSlot {
    std::int32_t index = 0;
    platform::AutoResetEvent start;
    platform::AutoResetEvent done;
    std::thread thread;
    // Written by the dispatcher only while the worker waits on `start`; read
    // by the dispatcher only after `done`.
    JobCode code = JobCode::kBand;
    BandJob job;
    std::int32_t firstRow = 0;
    std::int32_t endRow = 0;
    Status status;
};

void WorkerRoutine(WorkerSlot* slot) noexcept {
    for (;;) {
        slot->start.Wait();
        if (slot->code == JobCode::kExit) return;
        slot->status = slot->job.run(slot->job.context, slot->firstRow, slot->endRow);
        slot->done.Set();
    }
}

constexpr std::string_view kThreadFailure =
    "Unable to create thread, resetting to one processor. Please restart Quillon.";

}  // namespace

struct WorkerPool::Impl {
    std::array<WorkerSlot, kMaxWorkers> slots;
    std::int32_t count = 0;  // slots whose thread runs, always the first ones
};

WorkerPool::Impl& PoolImpl(WorkerPool& pool) { return *pool.impl_; }

WorkerPool::WorkerPool() : impl_(std::make_unique<Impl>()) {}

WorkerPool::~WorkerPool() { StopWorkerPool(*this); }

std::int32_t WorkerPool::WorkerCount() const { return impl_->count; }

std::int32_t WorkerCountFor(std::int32_t processors) {
    // Stored values are clamped when read; one that reaches the pool unclamped
    // and too large is taken as corrupt rather than as a wish for every thread.
    if (processors > kMaxProcessors) return 0;
    return ClampProcessors(processors) - 1;
}

Status CreateWorkerPool(WorkerPool& pool, std::int32_t& processors, platform::MessageSink& sink,
                        ThreadCreationGate gate) {
    StopWorkerPool(pool);
    WorkerPool::Impl& impl = PoolImpl(pool);
    const std::int32_t wanted = WorkerCountFor(processors);
    for (std::int32_t i = 0; i < wanted; ++i) {
        WorkerSlot& slot = impl.slots[static_cast<std::size_t>(i)];
        slot.index = i;
        slot.code = JobCode::kBand;
        bool started = gate == nullptr || gate(i);
        if (started) {
            try {
                slot.thread = std::thread(WorkerRoutine, &slot);
            } catch (const std::system_error&) {
                started = false;
            } catch (const std::bad_alloc&) {
                started = false;
            }
        }
        if (!started) {
            // The workers already running would never get a band from a pool the
            // program is about to abandon; end them now instead of leaking them.
            StopWorkerPool(pool);
            sink.Show(kThreadFailure);
            processors = 1;
            return StatusCode::kFailed;
        }
        impl.count = i + 1;
    }
    return Status::Ok();
}

void StopWorkerPool(WorkerPool& pool) {
    WorkerPool::Impl& impl = PoolImpl(pool);
    for (std::int32_t i = 0; i < impl.count; ++i) {
        WorkerSlot& slot = impl.slots[static_cast<std::size_t>(i)];
        if (!slot.thread.joinable()) continue;
        slot.code = JobCode::kExit;
        slot.start.Set();
        slot.thread.join();
    }
    impl.count = 0;
}

RowBand BandOf(std::int32_t rows, std::int32_t workers, std::int32_t index) {
    if (workers <= 0) return {0, rows};
    const std::int32_t band = rows / (workers + 1);
    if (index >= workers) return {workers * band, rows};
    return {index * band, (index + 1) * band};
}

Status FanOut(WorkerPool& pool, std::int32_t rows, const BandJob& job) {
    WorkerPool::Impl& impl = PoolImpl(pool);
    const std::int32_t n = impl.count;
    if (rows <= 0) return Status::Ok();
    if (n == 0) return job.run(job.context, 0, rows);

    for (std::int32_t i = 0; i < n; ++i) {
        WorkerSlot& slot = impl.slots[static_cast<std::size_t>(i)];
        const RowBand band = BandOf(rows, n, i);
        slot.code = JobCode::kBand;
        slot.job = job;
        slot.firstRow = band.firstRow;
        slot.endRow = band.endRow;
        slot.status = Status::Ok();
        slot.start.Set();
    }
    const RowBand last = BandOf(rows, n, n);
    const Status callerStatus = job.run(job.context, last.firstRow, last.endRow);

    Status first = Status::Ok();
    for (std::int32_t i = 0; i < n; ++i) {
        WorkerSlot& slot = impl.slots[static_cast<std::size_t>(i)];
        slot.done.Wait();
        if (first.ok() && !slot.status.ok()) first = slot.status;
    }
    return first.ok() ? callerStatus : first;
}

}  // namespace quillon::engine
