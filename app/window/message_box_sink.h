#pragma once

#include <atomic>

#include "platform/message_sink.h"

// Messages while a window runs are modal message boxes with their caption
// ("Info" for all ordinary ones); before and after, and in the quiet mode,
// they stay lines on stderr, so a script that runs the program sees them and
// is never stopped by a box nobody answers. Messages may come from the thread
// a correction runs on: they are shown by the window's thread, which the
// caller waits for.

namespace quillon::app {

class WindowMessageSink final : public platform::MessageSink {
  public:
    explicit WindowMessageSink(platform::MessageSink& withoutWindow)
        : withoutWindow_(withoutWindow) {}

    using MessageSink::Show;
    void Show(std::string_view text, std::string_view caption) override;

    // Set while a main window is open.
    void SetWindowRunning(bool running) { windowRunning_ = running; }

  private:
    platform::MessageSink& withoutWindow_;
    std::atomic<bool> windowRunning_{false};
};

}  // namespace quillon::app
