#include "app/window_core/file_browser.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/paths.h"

namespace quillon::app {

namespace {

// String numbers.
constexpr int kTextBatchAborted = 75;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    const auto n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = LowerAscii(a[i]);
        const char y = LowerAscii(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

bool IsListedImageName(std::string_view name) {
    if (name.empty() || name.front() == '.') return false;
    const std::string_view suffix = platform::SuffixOf(name);
    for (const std::string_view listed : {"jpg", "jpeg", "tif", "tiff"}) {
        if (platform::EqualsIgnoringCase(suffix, listed)) return true;
    }
    return false;
}

std::vector<std::string> ListImageFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return names;
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (error) break;
        std::string name = entries->path().filename().string();
        if (!IsListedImageName(name)) continue;
        // Follows a symbolic link: a link to a photo is offered like the photo.
        std::error_code kindError;
        if (!entries->is_regular_file(kindError) || kindError) continue;
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

std::string CounterText(int index, int count, std::string_view path) {
    char counter[48];
    std::snprintf(counter, sizeof counter, "%03d/%03d:  ", index, count);
    return counter + std::string(path);
}

std::string StoppedBatchText(int written, int count) {
    return std::to_string(written) + " of " + std::to_string(count) + " files written";
}

// ---- progress

BatchProgress::BatchProgress(int files)
    : files_(std::max(files, 1)),
      work_(std::make_unique<engine::WorkProgress[]>(static_cast<std::size_t>(files_))) {}

double BatchProgress::Fraction() const {
    const int index = std::clamp(FileIndex(), 0, files_ - 1);
    return (index + work_[static_cast<std::size_t>(index)].OverallFraction()) / files_;
}

// ---- the browser

FileBrowser::FileBrowser(WindowSession& session) : session_(session) {}

const std::string& FileBrowser::Folder() const { return session_.state().stored.values.inputDir; }

std::string FileBrowser::PathOf(std::string_view name) const {
    return platform::JoinPath(Folder(), name);
}

void FileBrowser::ChooseFolder(const std::string& folder) {
    session_.state().stored.values.inputDir = folder;
    Refresh();
}

void FileBrowser::Refresh() {
    session_.CloseImage();
    Fill();
}

void FileBrowser::Fill() {
    names_ = ListImageFiles(Folder());
    selected_.clear();
    status_ = Folder();
}

int FileBrowser::RowOf(std::string_view name) const {
    const auto found = std::find(names_.begin(), names_.end(), name);
    return found == names_.end() ? -1 : static_cast<int>(found - names_.begin());
}

void FileBrowser::MarkSelected(int row) {
    selected_.clear();
    if (row >= 0 && row < static_cast<int>(names_.size())) selected_.push_back(row);
}

void FileBrowser::Select(std::vector<int> rows) {
    std::erase_if(rows,
                  [this](int row) { return row < 0 || row >= static_cast<int>(names_.size()); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    selected_ = std::move(rows);
    if (selected_.size() == 1) {
        const std::string path = PathOf(names_[static_cast<std::size_t>(selected_.front())]);
        status_ = path;
        (void)session_.OpenImage(path);
        return;
    }
    status_ = Folder();
    if (selected_.empty()) {
        session_.CloseImage();
    } else {
        session_.ShowSeveralSelected();
    }
}

int FileBrowser::DeleteSelected(const std::function<bool(const std::string& path)>& moveToTrash) {
    int moved = 0;
    for (const int row : selected_) {
        if (moveToTrash(PathOf(names_[static_cast<std::size_t>(row)]))) ++moved;
    }
    Refresh();
    return moved;
}

// ---- the batch

imageio::ImageFileOptions FileBrowser::BatchOptions() const {
    const settings::SettingsValues& values = session_.state().stored.values;
    imageio::ImageFileOptions options;
    options.interactiveMode = true;
    options.suffix = values.suffix;
    options.jpegQuality = values.jpegQuality;
    return options;
}

std::vector<std::string> FileBrowser::BatchNames() const {
    std::vector<std::string> names;
    for (const int row : selected_) names.push_back(names_[static_cast<std::size_t>(row)]);
    return names;
}

BatchResult FileBrowser::RunBatch(const std::vector<std::string>& names,
                                  const imageio::ImageFileOptions& options, BatchHost& host,
                                  BatchProgress& progress) {
    BatchResult result;
    result.count = static_cast<int>(names.size());
    const bool several = names.size() > 1;
    for (int i = 0; i < result.count; ++i) {
        const std::string& name = names[static_cast<std::size_t>(i)];
        const std::string path = PathOf(name);
        result.lastName = name;
        progress.BeginFile(i);
        if (several) {
            host.OnWindowThread([&] { status_ = CounterText(i + 1, result.count, path); });
            const bool read = session_.ReadForBatch(path);
            int shown = preview::kShowFailed;
            host.OnWindowThread([&] { shown = session_.ShowReadFile(path, read); });
            if (shown != preview::kShownWithLens) {
                result.stop =
                    shown == preview::kShowFailed ? BatchStop::kUnreadable : BatchStop::kNoLens;
                return result;
            }
        }
        // The next file is read while this one is written, unless this one
        // is written to it (it is then read as written).
        if (several && i + 1 < result.count) {
            const std::string next = PathOf(names[static_cast<std::size_t>(i) + 1]);
            if (next != imageio::OutputPathFor(path, options)) session_.ReadAhead(next);
        }
        if (session_.CorrectAndWrite(options, progress.Work(i)) != 0) {
            session_.DropReadAhead();
            result.stop = BatchStop::kNotWritten;
            return result;
        }
        ++result.written;
        if (i + 1 < result.count && host.StopRequested()) {
            session_.DropReadAhead();
            result.stop = BatchStop::kStoppedByUser;
            return result;
        }
    }
    return result;
}

void FileBrowser::FinishBatch(const BatchResult& result) {
    // New output files appear in the list.
    Fill();
    if (result.stop == BatchStop::kUnreadable || result.stop == BatchStop::kNoLens) {
        session_.sink().Show(session_.state().session.strings.Text(kTextBatchAborted));
        if (result.stop == BatchStop::kUnreadable) return;
    }
    MarkSelected(RowOf(result.lastName));
    // The photo the user may now correct by hand, or the last one written.
    status_ = result.stop == BatchStop::kStoppedByUser
                  ? StoppedBatchText(result.written, result.count)
                  : PathOf(result.lastName);
}

}  // namespace quillon::app
