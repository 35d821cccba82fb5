#include "engine/streamed_correction.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "engine/lens_correction.h"
#include "text/memory_messages.h"

namespace quillon::engine {

namespace {

// The request RunCorrection's lens correction builds for the plan's image.
LensCorrectionRequest RequestOf(const CorrectionPlan& plan) {
    return MakeLensCorrectionRequest(plan.image, plan.image, plan.steps.chromaticAberration,
                                     plan.steps.distortion, false, plan.settings, plan.lens);
}

}  // namespace

bool CanStreamCorrection(const CorrectionPlan& plan) {
    const ActiveCorrections& steps = plan.steps;
    if (!steps.Geometric() || steps.fisheye || steps.vignetting || steps.Canvas()) return false;
    const LensCorrectionRequest request = RequestOf(plan);
    const PassPlan passes = PlanChannelPasses(request);
    // A pass that writes nothing leaves the destination as it was before,
    // which the band memory is not.
    if (passes.count == 0) return false;
    for (std::int32_t i = 0; i < passes.count; ++i) {
        PassStack stack;
        BuildPassStack(request, PassTermsChannel(passes.passes[i]), plan.image, stack);
        if (stack.stack.empty()) return false;
    }
    return true;
}

void ArrivingRows::Arrived(std::int32_t rows) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        present_.store(rows, std::memory_order_release);
    }
    changed_.notify_all();
}

void ArrivingRows::End(bool complete) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        complete_ = complete;
    }
    changed_.notify_all();
}

bool ArrivingRows::WaitComplete() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopped_; });
    return complete_;
}

bool ArrivingRows::WaitFor(std::int32_t row) {
    // Most rows a remap reads are long in place: no lock for those.
    if (present_.load(std::memory_order_acquire) > row) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return present_.load(std::memory_order_relaxed) > row || stopped_; });
    return present_.load(std::memory_order_relaxed) > row;
}

StreamedCorrection::StreamedCorrection(const CorrectionPlan& plan, const ImageBuffer& source,
                                       ArrivingRows& arriving, EngineContext& context)
    : plan_(plan), source_(source), arriving_(arriving), context_(context) {}

Status StreamedCorrection::Ready() {
    if (!CanStreamCorrection(plan_) || source_.width != plan_.image.width ||
        source_.height != plan_.image.height || source_.bitsPerPixel != plan_.image.bitsPerPixel) {
        return StatusCode::kFailed;
    }
    QUILLON_RETURN_IF_ERROR(BuildSampleTables(source_.bitsPerPixel, tables_, context_));
    const LensCorrectionRequest request = RequestOf(plan_);
    passes_ = PlanChannelPasses(request);
    for (std::int32_t i = 0; i < passes_.count; ++i) {
        BuildPassStack(request, PassTermsChannel(passes_.passes[i]), source_,
                       stacks_[static_cast<std::size_t>(i)]);
    }
    bandCount_ = (source_.height + kBandRows - 1) / kBandRows;
    // Two bands a lane: one being remapped, one done and waiting for the
    // writer; and two for the writer, the one it reads and the next.
    slotCount_ = std::min(bandCount_, 2 * (context_.pool.WorkerCount() + 1) + 2);
    const std::optional<ByteCount> bytes =
        ByteCount::Of(static_cast<std::size_t>(source_.rowBytes),
                      static_cast<std::size_t>(kBandRows) * static_cast<std::size_t>(slotCount_));
    try {
        if (!bytes || !context_.MayAllocate(bytes->value())) throw std::bad_alloc();
        slots_.resize(bytes->value());
        bandDone_.assign(static_cast<std::size_t>(bandCount_), 0);
    } catch (const std::bad_alloc&) {
        context_.sink.Show(text::kInsufficientMemory);
        return StatusCode::kFailed;
    }
    return Status::Ok();
}

std::uint8_t* StreamedCorrection::Slot(std::int32_t band) {
    const auto slot = static_cast<std::size_t>(band % slotCount_);
    return slots_.data() +
           slot * static_cast<std::size_t>(kBandRows) * static_cast<std::size_t>(source_.rowBytes);
}

bool StreamedCorrection::RemapBandRows(RowRemap& rows, std::int32_t band) {
    const RemapGeometry geometry{source_.width, source_.height, source_.width, source_.height};
    const std::int32_t first = band * kBandRows;
    const std::int32_t end = std::min(first + kBandRows, source_.height);
    std::uint8_t* out = Slot(band);
    for (std::int32_t row = first; row < end; ++row, out += source_.rowBytes) {
        // Channels no pass writes are copied (CopyCentred, of equal sizes).
        if (passes_.copyFirst) {
            if (!arriving_.WaitFor(row)) return false;
            std::memcpy(out, source_.Row(row), static_cast<std::size_t>(source_.rowBytes));
        }
        for (std::int32_t i = 0; i < passes_.count; ++i) {
            rows.Map(stacks_[static_cast<std::size_t>(i)].stack, geometry, row);
            const std::int32_t last = rows.LastSourceRow(0, source_.width);
            if (last >= 0 && !arriving_.WaitFor(last)) return false;
            rows.Resample(source_, passes_.passes[i], tables_, 0, source_.width, out);
        }
    }
    if (context_.progress != nullptr) context_.progress->AddRows((end - first) * passes_.count);
    return true;
}

void StreamedCorrection::RunLane() {
    RowRemap rows;
    if (!rows.Ready(source_.width, context_).ok()) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            failed_ = true;
            outOfMemory_ = true;
        }
        changed_.notify_all();
        return;
    }
    for (;;) {
        std::int32_t band = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (nextBand_ == bandCount_ || failed_ || abandoned_) return;
            band = nextBand_++;
            // The band's slot is free once the writer is done with the band
            // slotCount_ before it.
            changed_.wait(
                lock, [&] { return band < releasedBands_ + slotCount_ || failed_ || abandoned_; });
            if (failed_ || abandoned_) return;
        }
        const bool done = RemapBandRows(rows, band);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (done) {
                bandDone_[static_cast<std::size_t>(band)] = 1;
            } else {
                failed_ = true;
            }
        }
        changed_.notify_all();
        if (!done) return;
    }
}

Status StreamedCorrection::Remap() {
    if (context_.progress != nullptr) {
        context_.progress->BeginStage(source_.height * passes_.count);
    }
    // One lane per thread of the pool, each taking the next band as it goes.
    const std::int32_t lanes = context_.pool.WorkerCount() + 1;
    (void)FanOutBands(context_.pool, lanes, [&](std::int32_t first, std::int32_t end) {
        for (std::int32_t lane = first; lane < end; ++lane) RunLane();
        return Status::Ok();
    });
    const std::lock_guard<std::mutex> lock(mutex_);
    if (outOfMemory_) context_.sink.Show(text::kInsufficientMemory);
    const bool complete =
        std::all_of(bandDone_.begin(), bandDone_.end(), [](std::uint8_t done) { return done; });
    return complete ? Status::Ok() : Status(StatusCode::kFailed);
}

const std::uint8_t* StreamedCorrection::Rows(std::int32_t first, std::int32_t count) {
    // Whatever else the reader finds after the last row it delivers (a
    // damaged marker before the end of a JPEG) fails the file as the ordinary
    // load fails it; the writer finishes nothing before that is known.
    if (first + count >= source_.height && !arriving_.WaitComplete()) return nullptr;
    const std::int32_t firstBand = first / kBandRows;
    const std::int32_t lastBand = (first + count - 1) / kBandRows;
    const auto rowBytes = static_cast<std::size_t>(source_.rowBytes);
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [&](std::int32_t band) {
        changed_.wait(lock, [&] { return bandDone_[static_cast<std::size_t>(band)] || failed_; });
        return bandDone_[static_cast<std::size_t>(band)] != 0;
    };
    const auto release = [&](std::int32_t bands) {
        if (bands <= releasedBands_) return;
        releasedBands_ = bands;
        changed_.notify_all();
    };
    // Rows above `first` are not asked again.
    release(firstBand);
    if (firstBand == lastBand) {
        if (!ready(firstBand)) return nullptr;
        return Slot(firstBand) + static_cast<std::size_t>(first - firstBand * kBandRows) * rowBytes;
    }
    // Straddling rows (a tall strip of a small TIFF) are joined band by band,
    // each band released once copied, so any number of them fits the slots.
    try {
        joined_.resize(static_cast<std::size_t>(count) * rowBytes);
    } catch (const std::bad_alloc&) {
        context_.sink.Show(text::kInsufficientMemory);
        return nullptr;
    }
    for (std::int32_t band = firstBand; band <= lastBand; ++band) {
        if (!ready(band)) return nullptr;
        const std::int32_t from = std::max(first, band * kBandRows);
        const std::int32_t to = std::min(first + count, (band + 1) * kBandRows);
        std::memcpy(joined_.data() + static_cast<std::size_t>(from - first) * rowBytes,
                    Slot(band) + static_cast<std::size_t>(from - band * kBandRows) * rowBytes,
                    static_cast<std::size_t>(to - from) * rowBytes);
        release(band + 1);
    }
    return joined_.data();
}

void StreamedCorrection::Abandon() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        abandoned_ = true;
    }
    changed_.notify_all();
}

}  // namespace quillon::engine
