#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/full_correction.h"
#include "base/status.h"
#include "engine/streamed_correction.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "platform/message_sink.h"

// The quiet correction of a photo while it is read: the reading runs on a
// thread of its own from the start, the lens is detected as soon as the
// metadata is in, and a correction that can run on rows as they come
// (engine/streamed_correction.h) is written while the photo is still being
// decoded. Any other correction waits for the whole photo and runs as before.

namespace quillon::app {

// Reads a photo into a CurrentImage on a thread of its own.
class PhotoReading final : public imageio::RowArrival {
  public:
    // Starts reading `path` into `image` (LoadImageRows). Without a thread to
    // be had, reads it here and now.
    PhotoReading(const std::string& path, CurrentImage& image, platform::MessageSink& sink);
    ~PhotoReading() override;  // waits for the reading
    PhotoReading(const PhotoReading&) = delete;
    PhotoReading& operator=(const PhotoReading&) = delete;

    // Waits until the image's metadata and geometry are in: true, or false
    // when the read failed before (its message shown, the image released).
    bool WaitBegun();
    // Waits until the reading has ended; its status (the load's). A failed
    // read releases the image; after a successful one, the first call
    // allocates the output block (as LoadImageFile does) when `withOutput`.
    Status Finish(bool withOutput);
    engine::ArrivingRows& rows() { return rows_; }

    void Begun() override;
    void Arrived(std::int32_t rows) override;

  private:
    void Read();

    const std::string& path_;
    CurrentImage& image_;
    platform::MessageSink& sink_;
    engine::ArrivingRows rows_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool begun_ = false;
    bool ended_ = false;
    bool finished_ = false;
    Status status_;
};

// What the streamed runs answer when the correction cannot run on rows as
// they come, or no thread can be had for the writer: nothing was done.
constexpr int kNotStreamed = -1;

// CorrectAndSave's way for a photo in memory whose correction runs on rows
// (engine::CanStreamCorrection): the rows are remapped on the pool while a
// thread of its own writes the finished ones. 0 when the file was written, 1
// after the failing step's message, or kNotStreamed.
int CorrectAndSaveStreamed(AppState& state, const FullCorrection& job, platform::MessageSink& sink,
                           engine::WorkProgress& progress);

// CorrectAndSave for the photo `reading` is reading into state.current.image:
// streamed where the correction allows, else once the photo is complete. 0
// when the file was written; otherwise 1 after the failing step's message.
int CorrectAndSaveWhileReading(AppState& state, const FullCorrection& job, PhotoReading& reading,
                               platform::MessageSink& sink, engine::WorkProgress& progress);

}  // namespace quillon::app
