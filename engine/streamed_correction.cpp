#include "engine/streamed_correction.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "engine/vignetting.h"
#include "text/memory_messages.h"

namespace quillon::engine {

bool CanStreamCorrection(const CorrectionPlan& plan) {
    const ActiveCorrections& steps = plan.steps;
    if (!steps.Any() || steps.fisheye || steps.scale) return false;
    // Vignetting is done in place, where the ordinary run puts it in an
    // image of its own unless the source may take it.
    if (steps.vignetting && plan.sourceUse != SourceUse::kSpend) return false;
    LensRows lens;
    return lens.Ready(plan);
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
        source_.height != plan_.image.height || source_.bitsPerPixel != plan_.image.bitsPerPixel ||
        source_.rowBytes != plan_.image.rowBytes) {
        return StatusCode::kFailed;
    }
    QUILLON_RETURN_IF_ERROR(BuildSampleTables(source_.bitsPerPixel, tables_, context_));
    if (!lens_.Ready(plan_)) return StatusCode::kFailed;
    onCanvas_ = plan_.steps.perspective;
    bandCount_ = (source_.height + kBandRows - 1) / kBandRows;
    if (onCanvas_) {
        perspective_.Ready(plan_);
        // A fresh block is black throughout, margin included.
        const std::optional<ByteCount> canvasBytes = ImageByteCount(plan_.canvas);
        if (!canvasBytes || !context_.MayAllocate(canvasBytes->value()) ||
            !canvasBlock_.Allocate(*canvasBytes)) {
            context_.sink.Show(text::kCanvasOutOfMemory[0]);
            return StatusCode::kFailed;
        }
        canvas_ = plan_.canvas;
        canvas_.pixels = canvasBlock_.data();
    }
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
        lensDone_.assign(static_cast<std::size_t>(bandCount_), 0);
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

bool StreamedCorrection::LensBand(RowRemap& rows, std::int32_t band) {
    const std::int32_t first = band * kBandRows;
    const std::int32_t end = std::min(first + kBandRows, source_.height);
    std::uint8_t* slot = onCanvas_ ? nullptr : Slot(band);
    for (std::int32_t row = first; row < end; ++row) {
        std::uint8_t* out = onCanvas_ ? perspective_.ImageRow(canvas_, row)
                                      : slot + static_cast<std::size_t>(row - first) *
                                                   static_cast<std::size_t>(source_.rowBytes);
        RowWait& source = plan_.steps.vignetting ? static_cast<RowWait&>(vignetted_) : arriving_;
        if (!lens_.Row(rows, source_, tables_, row, out, source)) return false;
    }
    if (context_.progress != nullptr) {
        context_.progress->AddRows((end - first) * std::max(lens_.PassCount(), 1));
    }
    return true;
}

void StreamedCorrection::LensBandEnded(std::int32_t band, bool done) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!done) {
            failed_ = true;
        } else {
            lensDone_[static_cast<std::size_t>(band)] = 1;
            std::int32_t gapless = canvasRows_ / kBandRows;
            while (gapless < bandCount_ && lensDone_[static_cast<std::size_t>(gapless)]) ++gapless;
            canvasRows_ = std::min(gapless * kBandRows, source_.height);
        }
    }
    changed_.notify_all();
}

std::int32_t StreamedCorrection::TakeLensBand() {
    return nextLensBand_ < bandCount_ ? nextLensBand_++ : -1;
}

// Waits for image rows on the canvas; a lane that would wait corrects the
// next band of the image meanwhile, so the rows it waits for are always
// being worked on.
class StreamedCorrection::CanvasWait final : public RowWait {
  public:
    CanvasWait(StreamedCorrection& owner, RowRemap& rows) : owner_(owner), rows_(rows) {}
    bool WaitFor(std::int32_t row) override {
        std::unique_lock<std::mutex> lock(owner_.mutex_);
        for (;;) {
            if (owner_.canvasRows_ > row) return true;
            if (owner_.failed_ || owner_.abandoned_) return false;
            const std::int32_t band = owner_.TakeLensBand();
            if (band < 0) {
                owner_.changed_.wait(lock);
                continue;
            }
            lock.unlock();
            owner_.LensBandEnded(band, owner_.LensBand(rows_, band));
            lock.lock();
        }
    }

  private:
    StreamedCorrection& owner_;
    RowRemap& rows_;
};

bool StreamedCorrection::WindowBand(Lane& lane, std::int32_t band) {
    const std::int32_t first = band * kBandRows;
    const std::int32_t end = std::min(first + kBandRows, source_.height);
    CanvasWait wait(*this, lane.image);
    std::uint8_t* out = Slot(band);
    for (std::int32_t row = first; row < end; ++row, out += source_.rowBytes) {
        if (!perspective_.Row(lane.canvas, canvas_, tables_, row, out, wait)) return false;
    }
    if (context_.progress != nullptr) context_.progress->AddRows(end - first);
    return true;
}

void StreamedCorrection::RunLane() {
    Lane lane;
    if (!lane.image.Ready(source_.width, context_).ok() ||
        (onCanvas_ && !lane.canvas.Ready(canvas_.width, context_).ok())) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            failed_ = true;
            outOfMemory_ = true;
        }
        changed_.notify_all();
        return;
    }
    RunLaneWork(lane);
}

void StreamedCorrection::RunLaneWork(Lane& lane) {
    for (;;) {
        std::int32_t band = -1;
        std::int32_t lensBand = -1;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            for (;;) {
                if (nextBand_ == bandCount_ || failed_ || abandoned_) return;
                // The band's slot is free once the writer is done with the
                // band slotCount_ before it.
                if (nextBand_ < releasedBands_ + slotCount_) {
                    band = nextBand_++;
                    break;
                }
                // No slot: the canvas can still be filled meanwhile.
                if (onCanvas_ && (lensBand = TakeLensBand()) >= 0) break;
                changed_.wait(lock);
            }
        }
        if (lensBand >= 0) {
            LensBandEnded(lensBand, LensBand(lane.image, lensBand));
            continue;
        }
        const bool done = onCanvas_ ? WindowBand(lane, band) : LensBand(lane.image, band);
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

void StreamedCorrection::Vignette(const VignettingConstants& k) {
    // Row by row in the reader's wake, each gain computed for two pixels
    // instead of four, so that the lens correction can follow at once rather
    // than wait for the lower half of the photo.
    for (std::int32_t first = 0; first < source_.height; first += kBandRows) {
        const std::int32_t end = std::min(first + kBandRows, source_.height);
        if (!arriving_.WaitFor(end - 1)) {
            vignetted_.End(false);
            return;
        }
        VignetteImageRows(source_, source_, k, first, end);
        vignetted_.Arrived(end);
        if (context_.progress != nullptr) context_.progress->AddRows(end - first);
    }
    vignetted_.End(true);
}

Status StreamedCorrection::Remap() {
    const bool vignetting = plan_.steps.vignetting;
    if (context_.progress != nullptr) {
        const std::int32_t lensRows = source_.height * std::max(lens_.PassCount(), 1);
        context_.progress->BeginStage((vignetting ? source_.height : 0) + lensRows +
                                      (onCanvas_ ? source_.height : 0));
    }
    const VignettingConstants k = MakeVignettingConstants(
        source_.width, source_.height, plan_.settings.VigAmount, plan_.settings.VigMidpoint);
    // One lane per thread of the pool, each taking the next band as it goes.
    const std::int32_t lanes = context_.pool.WorkerCount() + 1;
    // With vignetting, the first lane vignettes the rows as they arrive, and
    // the lens correction reads only rows it has done.
    (void)FanOutBands(context_.pool, lanes, [&](std::int32_t first, std::int32_t end) {
        for (std::int32_t lane = first; lane < end; ++lane) {
            if (lane == 0 && vignetting) Vignette(k);
            RunLane();
        }
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
