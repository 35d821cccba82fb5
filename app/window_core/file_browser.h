#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/window_core/window_session.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"

// The folder browser without its widgets: which photos of the input folder
// the list offers, what a change of the selection shows, moving files to the
// trash, and the batch correction of the selected files.

namespace quillon::app {

// Whether the file list offers a file of this name: a .jpg, .jpeg, .tif or
// .tiff suffix in any letter case, and not hidden (no leading '.').
bool IsListedImageName(std::string_view name);

// The photos of `folder` the list offers, sorted as a user reads them (letter
// case ignored, then byte order, so the order is total). Folders, hidden
// entries and anything that is not a regular file (a pipe would block the
// reader) are left out; an unreadable folder lists nothing.
std::vector<std::string> ListImageFiles(const std::string& folder);

// "%03d/%03d:  %s": the place of a file in a run of several, then its path.
std::string CounterText(int index, int count, std::string_view path);

// Why a batch ended before its last file.
enum class BatchStop {
    kNone,           // every file was written
    kUnreadable,     // a file could not be read: "Batch job aborted"
    kNoLens,         // no lens for the lens correction: "Batch job aborted", the photo shown
    kNotWritten,     // correcting or writing failed, with its own message
    kStoppedByUser,  // Stop in the busy window, after the file being written
};

struct BatchResult {
    int written = 0;
    int count = 0;  // files the batch was given
    BatchStop stop = BatchStop::kNone;
    std::string lastName;  // of the last file the batch worked on
};

// How far a batch is, read by the busy window while the batch runs on a
// thread of its own.
class BatchProgress {
  public:
    explicit BatchProgress(int files);
    int Files() const { return files_; }
    // The 0-based file in work.
    int FileIndex() const { return current_.load(std::memory_order_relaxed); }
    void BeginFile(int index) { current_.store(index, std::memory_order_relaxed); }
    engine::WorkProgress& Work(int index) { return work_[static_cast<std::size_t>(index)]; }
    // The files done and the done share of the one in work, over all files.
    double Fraction() const;

  private:
    int files_;
    std::atomic<int> current_{0};
    std::unique_ptr<engine::WorkProgress[]> work_;
};

// What a batch running on its own thread asks of the window around it.
class BatchHost {
  public:
    virtual ~BatchHost() = default;
    // Runs `task` on the window's thread and waits for it; the window then
    // shows what the task changed.
    virtual void OnWindowThread(const std::function<void()>& task) = 0;
    // The user asked the batch to end after the file being written.
    virtual bool StopRequested() const = 0;
};

class FileBrowser {
  public:
    explicit FileBrowser(WindowSession& session);

    WindowSession& session() { return session_; }
    // InputDir.
    const std::string& Folder() const;
    const std::vector<std::string>& Names() const { return names_; }
    std::string PathOf(std::string_view name) const;
    const std::string& StatusText() const { return status_; }
    void SetStatusText(std::string text) { status_ = std::move(text); }

    // A folder was chosen: it becomes InputDir, the list is filled again and
    // no image is shown.
    void ChooseFolder(const std::string& folder);
    // Refresh: the list filled again from InputDir, no image shown.
    void Refresh();
    // Fills the list from InputDir (nothing selected); the status bar shows
    // InputDir. The image shown stays.
    void Fill();

    // The selection became `rows` (indices into Names()): nothing selected
    // shows InputDir; one photo is shown; several leave the preview empty.
    void Select(std::vector<int> rows);
    const std::vector<int>& Selected() const { return selected_; }
    // The row of `name` in the list, -1 when it is not listed.
    int RowOf(std::string_view name) const;
    // Marks `row` as the only one selected without showing it again (the
    // batch's last photo is shown already).
    void MarkSelected(int row);

    // Moves each selected file with `moveToTrash` (a file it refuses stays
    // where it is), then no image is shown and the list is filled again.
    // Answers how many went.
    int DeleteSelected(const std::function<bool(const std::string& path)>& moveToTrash);

    // ---- the batch

    // How a batch writes: next to each input, with the Suffix setting before
    // the extension, at the JPEG quality of the settings.
    imageio::ImageFileOptions BatchOptions() const;
    // The names a batch started now corrects: the selected ones in list
    // order. One selected photo is the one shown.
    std::vector<std::string> BatchNames() const;
    // The batch itself, on a thread of its own while the session is busy:
    // several files are each shown (read off the window's thread, turned
    // into the preview on it), then corrected and written with `options`;
    // one selected photo is corrected as it is shown. The window's thread
    // runs only what `host` hands it.
    BatchResult RunBatch(const std::vector<std::string>& names,
                         const imageio::ImageFileOptions& options, BatchHost& host,
                         BatchProgress& progress);
    // After the batch, on the window's thread with the session no longer
    // busy: the list filled again, "Batch job aborted" when it was, and the
    // last file selected again with its path in the status bar (unless it
    // could not be read). A batch stopped by the user says how many files
    // were written.
    void FinishBatch(const BatchResult& result);

  private:
    WindowSession& session_;
    std::vector<std::string> names_;
    std::vector<int> selected_;
    std::string status_;
};

// The text of the status bar after a batch the user stopped.
std::string StoppedBatchText(int written, int count);

}  // namespace quillon::app
