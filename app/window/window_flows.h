#pragma once

#include <memory>

#include "app/window/main_window.h"
#include "app/window_core/file_browser.h"

// What the buttons of the two program windows do.

namespace quillon::app {

// The editor: the files of the command line one after another. OK corrects
// the file shown and writes it over itself, then shows the next; Cancel goes
// on to the next file without writing, if the user wants to.
class EditorFlow final : public WindowFlow {
  public:
    void Start(MainWindow& window) override;
    void Ok(MainWindow& window) override;
    void Cancel(MainWindow& window) override;
};

// The folder browser: the photos of InputDir in the list, the one selected
// shown; Apply corrects the selected files into new ones beside them, Delete
// moves them to the trash, and the viewer opens the one shown.
class BrowserFlow final : public WindowFlow {
  public:
    void Start(MainWindow& window) override;
    void Ok(MainWindow& window) override;
    void Cancel(MainWindow& window) override;
    void ChooseDirectory(MainWindow& window) override;
    void DeleteSelected(MainWindow& window) override;
    void SelectionChanged(MainWindow& window) override;
    void SelectAll(MainWindow& window) override;
    void Refresh(MainWindow& window) override;
    void OpenInViewer(MainWindow& window) override;

  private:
    // The list, the status bar and everything else shown from the browser.
    void ShowBrowser(MainWindow& window);

    std::unique_ptr<FileBrowser> browser_;
};

// The question before the editor moves on without writing.
inline constexpr const char* kContinueQuestion = "Continue with next file?";
inline constexpr const char* kQuestionCaption = "Quillon";

// String numbers of the browser's questions and messages.
inline constexpr int kTextDeleteQuestion = 74;
inline constexpr int kTextSelectViewer = 72;

}  // namespace quillon::app
