#include "app/streamed_correction.h"

#include <system_error>

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

int CorrectAndSaveWhileReading(AppState& state, const FullCorrection& job, PhotoReading& reading,
                               platform::MessageSink& sink, engine::WorkProgress& progress) {
    CurrentImage& image = state.current.image;
    const engine::CorrectionInputs inputs{
        job.values, state.current.selection.lensModel,
        preview::LensStateOf(state.current.selection, job.values)};
    platform::CapturingSink planning;
    const StatusOr<engine::CorrectionPlan> plan =
        engine::PlanCorrection(image.input, inputs, job.sourceUse, planning);
    if (!plan.ok() || !engine::CanStreamCorrection(*plan)) {
        // The whole photo first, then the ordinary run, which plans again and
        // says why it cannot.
        if (!reading.Finish(true).ok()) return 1;
        return CorrectAndSave(state, job, sink, progress);
    }
    progress.ExpectStages(1);
    SerializedSink serialized(sink);
    engine::EngineContext context{state.pool, serialized};
    context.progress = &progress;
    engine::StreamedCorrection streamed(*plan, image.input, reading.rows(), context);
    // The reading goes on to its end; whoever started it waits for it.
    if (!streamed.Ready().ok()) return 1;
    StreamedRows rows(streamed);
    Status written = StatusCode::kFailed;
    std::thread writer;
    try {
        writer = std::thread([&] {
            written = imageio::SaveImageRows(job.path, plan->image, rows, image.metadata,
                                             job.options, serialized);
            streamed.Abandon();
        });
    } catch (const std::system_error&) {
        if (!reading.Finish(true).ok()) return 1;
        return CorrectAndSave(state, job, sink, progress);
    }
    const Status remapped = streamed.Remap();
    writer.join();
    const Status read = reading.Finish(false);
    if (!read.ok() || !remapped.ok() || !written.ok()) return 1;
    engine::AdoptCropShifts(*plan, job.values);
    return 0;
}

}  // namespace quillon::app
