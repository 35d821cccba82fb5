#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Where user-visible messages go. The GUI installs a sink that shows a modal
// message box; without a GUI every message is one line on stderr; tests capture
// them. Library code receives the sink by reference and never picks one itself.

namespace quillon::platform {

inline constexpr std::string_view kInfoCaption = "Info";

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void Show(std::string_view text, std::string_view caption) = 0;
    void Show(std::string_view text) { Show(text, kInfoCaption); }
};

// One line per message on stderr; the caption is printed only when it is not
// the ordinary "Info". Safe to call from several threads.
class StderrSink final : public MessageSink {
  public:
    using MessageSink::Show;
    void Show(std::string_view text, std::string_view caption) override;

  private:
    std::mutex mutex_;
};

struct CapturedMessage {
    std::string text;
    std::string caption;
};

// Keeps every message for inspection by tests.
class CapturingSink final : public MessageSink {
  public:
    using MessageSink::Show;
    void Show(std::string_view text, std::string_view caption) override;

    std::vector<CapturedMessage> Messages() const;
    std::string Last() const;  // text of the last message, empty when none
    std::size_t Count() const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<CapturedMessage> messages_;
};

}  // namespace quillon::platform
