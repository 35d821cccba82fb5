#pragma once

#include "app/window/main_window.h"

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

// The folder browser. Choosing a folder, the file list, Apply on the selected
// files and Delete are the browser's own work and join here; until then the
// window corrects nothing and Exit ends it.
class BrowserFlow final : public WindowFlow {
  public:
    void Ok(MainWindow& window) override;
    void Cancel(MainWindow& window) override;
};

// The question before the editor moves on without writing.
inline constexpr const char* kContinueQuestion = "Continue with next file?";
inline constexpr const char* kQuestionCaption = "Quillon";

}  // namespace quillon::app
