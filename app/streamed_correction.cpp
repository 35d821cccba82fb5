#include "app/streamed_correction.h"

#include <optional>
#include <system_error>
#include <utility>

#include "app/photo_detection.h"
#include "engine/run_correction.h"
#include "preview/preview_state.h"

namespace quillon::app {

namespace {

// The reader, the remap and the writer may each have something to say.
class SerializedSink final : public platform::MessageSink {
  public:
    explicit SerializedSink(platform::MessageSink& sink) : sink_(sink) {}
    using MessageSink::Show;
    void Show(std::string_view text, std::string_view caption) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        sink_.Show(text, caption);
    }

  private:
    platform::MessageSink& sink_;
    std::mutex mutex_;
};

class StreamedRows final : public imageio::RowFeed {
  public:
    explicit StreamedRows(engine::StreamedCorrection& correction) : correction_(correction) {}
    const std::uint8_t* Rows(std::int32_t first, std::int32_t count) override {
        return correction_.Rows(first, count);
    }

  private:
    engine::StreamedCorrection& correction_;
};

}  // namespace

PhotoReading::PhotoReading(const std::string& path, CurrentImage& image,
                           platform::MessageSink& sink)
    : path_(path), image_(image), sink_(sink) {
    try {
        thread_ = std::thread([this] { Read(); });
    } catch (const std::system_error&) {
        Read();
    }
}

PhotoReading::~PhotoReading() {
    if (thread_.joinable()) thread_.join();
}

void PhotoReading::Read() {
    const Status status = imageio::LoadImageRows(path_, image_, sink_, *this);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        status_ = status;
        ended_ = true;
    }
    changed_.notify_all();
    rows_.End(status.ok());
}

void PhotoReading::Begun() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        begun_ = true;
    }
    changed_.notify_all();
}

void PhotoReading::Arrived(std::int32_t rows) { rows_.Arrived(rows); }

bool PhotoReading::WaitBegun() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return begun_ || ended_; });
        if (begun_) return true;
    }
    return Finish(false).ok();
}

Status PhotoReading::Finish(bool withOutput) {
    if (thread_.joinable()) thread_.join();
    if (finished_) return status_;
    finished_ = true;
    if (!status_.ok()) {
        image_.Release();
        return status_;
    }
    if (withOutput && !AllocateOutputPixels(image_, sink_).ok()) status_ = StatusCode::kUnusable;
    return status_;
}

namespace {

// A plan for the photo in state.current.image when it can run on rows as they
// come; none otherwise (the ordinary run then plans again and says why it
// cannot run at all).
std::optional<engine::CorrectionPlan> StreamablePlan(const AppState& state,
                                                     const FullCorrection& job) {
    const engine::CorrectionInputs inputs{
        job.values, state.current.selection.lensModel,
        preview::LensStateOf(state.current.selection, job.values)};
    platform::CapturingSink planning;
    StatusOr<engine::CorrectionPlan> plan =
        engine::PlanCorrection(state.current.image.input, inputs, job.sourceUse, planning);
    if (!plan.ok() || !engine::CanStreamCorrection(*plan)) return std::nullopt;
    return std::move(*plan);
}

// Runs a streamable `plan` on state.current.image.input, whose rows arrive
// through `arriving`, and writes the result: the remap on the pool while a
// thread of its own writes finished rows. 0 when the file was written, 1
// after the failing step's message, or kNotStreamed when no thread for the
// writer could be had (nothing done).
int StreamAndSave(AppState& state, const FullCorrection& job, const engine::CorrectionPlan& plan,
                  engine::ArrivingRows& arriving, platform::MessageSink& sink,
                  engine::WorkProgress& progress) {
    CurrentImage& image = state.current.image;
    progress.ExpectStages(1);
    SerializedSink serialized(sink);
    engine::EngineContext context{state.pool, serialized};
    context.progress = &progress;
    engine::StreamedCorrection streamed(plan, image.input, arriving, context);
    if (!streamed.Ready().ok()) return 1;
    StreamedRows rows(streamed);
    Status written = StatusCode::kFailed;
    std::thread writer;
    try {
        writer = std::thread([&] {
            written = imageio::SaveImageRows(job.path, plan.image, rows, image.metadata,
                                             job.options, serialized);
            streamed.Abandon();
        });
    } catch (const std::system_error&) {
        return kNotStreamed;
    }
    const Status remapped = streamed.Remap();
    writer.join();
    return remapped.ok() && written.ok() ? 0 : 1;
}

}  // namespace

int CorrectAndSaveWhileReading(AppState& state, const FullCorrection& job, PhotoReading& reading,
                               platform::MessageSink& sink, engine::WorkProgress& progress) {
    const std::optional<engine::CorrectionPlan> plan = StreamablePlan(state, job);
    // The reading goes on to its end in every case; whoever started it waits
    // for it.
    const int streamed =
        plan ? StreamAndSave(state, job, *plan, reading.rows(), sink, progress) : kNotStreamed;
    if (streamed == kNotStreamed) {
        // The whole photo first, then the ordinary run (which plans again
        // and says why a correction cannot run at all).
        if (!reading.Finish(true).ok()) return 1;
        return CorrectAndSave(state, job, sink, progress);
    }
    const Status read = reading.Finish(false);
    if (!read.ok() || streamed != 0) return 1;
    engine::AdoptCropShifts(*plan, job.values);
    return 0;
}

int CorrectAndSaveStreamed(AppState& state, const FullCorrection& job, platform::MessageSink& sink,
                           engine::WorkProgress& progress) {
    const std::optional<engine::CorrectionPlan> plan = StreamablePlan(state, job);
    if (!plan) return kNotStreamed;
    engine::ArrivingRows arriving;
    arriving.Arrived(state.current.image.input.height);
    arriving.End(true);
    const int streamed = StreamAndSave(state, job, *plan, arriving, sink, progress);
    if (streamed == 0) engine::AdoptCropShifts(*plan, job.values);
    return streamed;
}

}  // namespace quillon::app
